#include "frontend/dispatch.h"

#include "cutter/two_piece_cut.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
  CommandKind kind;
  std::string size;
  int32_t rows, cols, quality;
  std::vector<std::string> names;
  bool operator==(const Parsed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Parsed& p) {
  out << "kind " << static_cast<int>(p.kind) << " size [" << p.size << "] rows " << p.rows
      << " cols " << p.cols << " quality " << p.quality << " names";
  for (const auto& n : p.names) {
    out << " [" << n << "]";
  }
  return out;
}

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "dolvane");
  std::vector<char*> tokens;
  for (std::string& a : args) {
    tokens.push_back(a.data());
  }
  tokens.push_back(nullptr);
  Command c = ParseCommandLine(static_cast<int>(args.size()), tokens.data());
  Parsed p{c.kind, c.sizeText ? c.sizeText : "", c.rows, c.cols, c.quality, {}};
  for (int i = 0; i < c.nameCount; ++i) {
    p.names.push_back(c.names[i]);
  }
  return p;
}

constexpr CommandKind kWide = CommandKind::kWide;
constexpr CommandKind kHigh = CommandKind::kHigh;
constexpr CommandKind kGrid = CommandKind::kGrid;

TEST(ParseCommandLine, RunnableLines) {
  struct Case {
    std::vector<std::string> args;
    Parsed want;
  } cases[] = {
      {{"-w", "100", "a.jpg"}, {kWide, "100", 0, 0, 100, {"a.jpg"}}},
      {{"-W", "100", "a.jpg"}, {kWide, "100", 0, 0, 100, {"a.jpg"}}},
      {{"-h", "5cm", "a.jpg", "b.jpg", "c.jpg"},
       {kHigh, "5cm", 0, 0, 100, {"a.jpg", "b.jpg", "c.jpg"}}},
      // Names may stand anywhere; the last mode option wins, each value with its own option.
      {{"a.jpg", "-w", "10", "-h", "20"}, {kHigh, "20", 0, 0, 100, {"a.jpg"}}},
      {{"-g", "2", "2", "-w", "10", "a.jpg"}, {kWide, "10", 2, 2, 100, {"a.jpg"}}},
      {{"-w", "10", "-g", "3", "4", "a.jpg"}, {kGrid, "10", 3, 4, 100, {"a.jpg"}}},
      {{"-oq", "75", "-w", "10", "a.jpg"}, {kWide, "10", 0, 0, 75, {"a.jpg"}}},
      {{"-Oq", "75", "-oQ", "-3", "-w", "10", "a.jpg"}, {kWide, "10", 0, 0, -3, {"a.jpg"}}},
      // The value after an option is taken whatever it looks like.
      {{"-w", "-h", "a.jpg"}, {kWide, "-h", 0, 0, 100, {"a.jpg"}}},
      {{"-g", "2x", "3", "a.jpg"}, {kGrid, "", 2, 3, 100, {"a.jpg"}}},
      {{"-g", "x", "-1", "a.jpg"}, {kGrid, "", 0, -1, 100, {"a.jpg"}}},
      {{"-g", " +7", "99999999999", "a.jpg"}, {kGrid, "", 7, INT32_MAX, 100, {"a.jpg"}}},
      // Unknown words and "-?" among other arguments are file names.
      {{"-x", "-w", "1", "-?"}, {kWide, "1", 0, 0, 100, {"-x", "-?"}}},
      {{"-w", "1", "a.jpg", "-", "-"}, {kWide, "1", 0, 0, 100, {"a.jpg", "-", "-"}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Parse(c.args), c.want) << "args starting " << c.args[0];
  }
}

TEST(ParseCommandLine, LinesAnsweredWithUsage) {
  const std::vector<std::string> cases[] = {
      {},
      {"a.jpg"},
      {"-?", "a.jpg"},
      {"-w", "100"},
      {"-g", "2", "3", "a.jpg", "b.jpg"},
      {"-g", "2", "3"},
      {"-w", "100", "a.jpg", "b.jpg", "c.jpg", "d.jpg"},
      {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "-w", "1"},
      {"a.jpg", "-w"},
      {"a.jpg", "-g", "2"},
      {"a.jpg", "-g"},
      {"-w", "1", "a.jpg", "-oq"},
      {"-oq", "50", "a.jpg"},
  };
  for (const auto& args : cases) {
    EXPECT_EQ(Parse(args).kind, CommandKind::kUsage) << args.size() << " arguments";
  }
}

TEST(IsAboutRequest, OnlyALoneQuestionMark) {
  char prog[] = "dolvane", about[] = "-?", longer[] = "-?x", other[] = "a.jpg";
  char* alone[] = {prog, about, nullptr};
  char* withMore[] = {prog, about, other, nullptr};
  char* notQuite[] = {prog, longer, nullptr};
  EXPECT_TRUE(IsAboutRequest(2, alone));
  EXPECT_FALSE(IsAboutRequest(3, withMore));
  EXPECT_FALSE(IsAboutRequest(2, notQuite));
  EXPECT_FALSE(IsAboutRequest(1, alone));
}

// A wrong count of names goes back to the caller, who shows the usage; the missing input is
// never looked for.
TEST(CutInTwo, AWrongNameCountIsReturnedBeforeAnythingIsRead) {
  const char* names[] = {"missing.jpg", "a.jpg", "b.jpg", "c.jpg"};
  for (int count : {0, 4, -1}) {
    EXPECT_EQ(CutWide(count, names, "10", 100), kWrongNameCount) << count;
    EXPECT_EQ(CutHigh(count, names, "10", 100), kWrongNameCount) << count;
  }
}

TEST(Boxes, UsageAndAboutEndTheProcess) {
  EXPECT_EXIT(ShowUsage(), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(ShowAbout(), testing::ExitedWithCode(0), "");
}

}  // namespace
