#include "frontend/command_line.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/memory_limit.h"

namespace {

// Splits and frees, giving the tokens as strings; also checks the null entry after the last.
std::vector<std::string> Split(const std::string& text, int cap = 50) {
  std::vector<char*> list(static_cast<size_t>(cap > 0 ? cap : 0) + 1, nullptr);
  // A marker beyond the null entry shows that entries past it are not touched.
  char marker[] = "untouched";
  list.push_back(marker);
  int count = SplitCommandLine(text.c_str(), cap, list.data());
  EXPECT_EQ(list[static_cast<size_t>(count)], nullptr);
  EXPECT_EQ(list.back(), marker);
  std::vector<std::string> tokens(list.begin(), list.begin() + count);
  FreeArgList(list.data());
  return tokens;
}

struct SplitCase {
  const char* text;
  std::vector<std::string> tokens;
};

TEST(SplitCommandLine, Examples) {
  // Q stands for a double quote and _ for a blank in the rows' comments.
  const SplitCase cases[] = {
      {"ab cd", {"ab", "cd"}},
      {"  ab  ", {"ab"}},
      {"\"ab\"cd", {"ab", "cd"}},     // QabQcd
      {"\"ab\"\"cd\"", {"ab\"cd"}},   // QabQQcdQ
      {"a\"\"b", {"a\"\"b"}},         // aQQb: quotes in an unquoted token
      {"ab\"cd e", {"ab\"cd", "e"}},  // abQcd_e
      {"\"a b\" \"c\"\"d\" e", {"a b", "c\"d", "e"}},
      {"\"\"", {""}},
      {"\"\"ab", {"", "ab"}},
      {"\"\"\"", {"\""}},
      {"\"\"\"\"", {"\""}},
      {"x \"", {"x", ""}},
      {"x \"ab", {"x", "ab"}},
      {"x \"ab\"\"", {"x", "ab\""}},
      {"", {}},
      {" \t\n ", {}},
      {"a\tb\nc", {"a", "b", "c"}},
      {"a\r\nb", {"a\r", "b"}},  // a carriage return is an ordinary byte
      {"\"a\tb\nc d\"", {"a\tb\nc d"}},
      {"\x81\xff \v\f", {"\x81\xff", "\v\f"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(Split(c.text), c.tokens) << "text: [" << c.text << "]";
  }
}

TEST(SplitCommandLine, CapLimitsTheTokens) {
  EXPECT_EQ(Split("a b c d", 2), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Split("a b c", 0), std::vector<std::string>{});
  EXPECT_EQ(Split("a b c", -3), std::vector<std::string>{});
  std::string many;
  for (int i = 0; i < 60; ++i) {
    many += "t" + std::to_string(i) + " ";
  }
  std::vector<std::string> tokens = Split(many, 50);
  ASSERT_EQ(tokens.size(), 50u);
  EXPECT_EQ(tokens.back(), "t49");
}

TEST(SplitCommandLine, LeavesItsInputAlone) {
  const std::string original = "\"a \"\"b\" c";
  std::string text = original;
  Split(text);
  EXPECT_EQ(text, original);
}

TEST(FreeArgList, EmptyListReleasesNothing) {
  char* list[] = {nullptr};
  FreeArgList(list);
  EXPECT_EQ(list[0], nullptr);
}

TEST(SplitCommandLine, RunningOutOfStorageIsFatal) {
  // The work areas are as long as the text, so a text larger than what is left cannot be split.
  std::string huge(256u << 20, 'x');
  EXPECT_EXIT(
      {
        testing_support::LimitFurtherAllocation();
        char* list[2];
        SplitCommandLine(huge.c_str(), 1, list);
      },
      testing::ExitedWithCode(1), "^Morvick Dolvane Ver 1\\.01\nout of memory\n$");
}

// The command line rebuilt from separate arguments splits back into exactly those arguments.
void ExpectRoundTrip(const std::vector<std::string>& args) {
  std::vector<std::string> copies = args;
  std::vector<char*> argv;
  for (std::string& a : copies) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  const char* line = platform::RawCommandLine(static_cast<int>(args.size()), argv.data());
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(Split(line, 1000), args) << "line: [" << line << "]";
  delete[] line;
}

TEST(RawCommandLine, RoundTripsAwkwardArguments) {
  ExpectRoundTrip({"dolvane", "-w", "50%", "a.jpg"});
  ExpectRoundTrip({"/path with blank/dolvane", "", "\"", "\"\"", "\"a", "a\"", "\"a\"", "a\"b"});
  ExpectRoundTrip({"prog", "tab\there", "line\nfeed", "cr\rx", " lead", "trail ", "\x80\xfe\xff"});
  ExpectRoundTrip({"prog", "\" \"", "\"\" \"\"", "x\"\"\"y", "-?"});
}

TEST(RawCommandLine, RoundTripsRandomArguments) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', ' ', '\t', '\n', '"', '\r', '\x01', '\xff', '-', '\v'};
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::string> args = {"prog"};
    int count = static_cast<int>(random() % 6);
    for (int i = 0; i < count; ++i) {
      std::string arg;
      int length = static_cast<int>(random() % 6);
      for (int j = 0; j < length; ++j) {
        arg += alphabet[random() % sizeof alphabet];
      }
      args.push_back(arg);
    }
    ExpectRoundTrip(args);
    if (HasFailure()) {
      return;
    }
  }
}

}  // namespace
