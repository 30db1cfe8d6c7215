#include "util/argument_lists.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

constexpr char kGuardBytes[] = "GUARD";

// Marks list entries a routine must not write; compared by address only.
char guardEntry[] = "guard";

// The caller's text with guard bytes after its terminator, to show a splitter writes no further.
class TextBuffer {
 public:
  explicit TextBuffer(const std::string& text) : length_(text.size()) {
    bytes_.assign(text.begin(), text.end());
    bytes_.push_back('\0');
    bytes_.insert(bytes_.end(), kGuardBytes, kGuardBytes + sizeof kGuardBytes);
  }
  char* data() { return bytes_.data(); }
  std::string Bytes() const { return std::string(bytes_.begin(), bytes_.begin() + length_); }
  bool Holds(const char* p) const { return p >= bytes_.data() && p <= bytes_.data() + length_; }
  bool GuardIntact() const {
    return std::memcmp(&bytes_[length_ + 1], kGuardBytes, sizeof kGuardBytes) == 0;
  }

 private:
  size_t length_;
  std::vector<char> bytes_;
};

// A list of `room` entries followed by guard entries.
std::vector<char*> GuardedList(int room) {
  return std::vector<char*>(static_cast<size_t>(room > 0 ? room : 0) + 4, guardEntry);
}

// ----------------------------------------------------------------------------------------------
// Field splitters

using Splitter = int (*)(char, char*, int, char**);

int Words(char, char* text, int max, char** fields) {
  return SplitWords(text, max, fields);
}

TEST(Splitters, FieldsWordsAndQuotedParts) {
  struct Case {
    Splitter split;
    char separator;
    std::string text;
    int max;
    Texts fields;
  } cases[] = {
      {Words, ' ', "  a   b  ", 5, {"a", "b"}},
      {Words, ' ', "a \"b c\" d", 5, {"a", "b c", "d"}},
      {Words, ' ', "\"b c\"d", 5, {"b c", "d"}},
      {Words, ' ', "x\"y z\"", 5, {"x\"y", "z\""}},
      {Words, ' ', "a b c", 2, {"a", "b"}},
      {Words, ' ', "a \"b c", 5, {"a", "b c"}},
      {Words, ' ', "\t a\tb", 5, {"\t", "a\tb"}},
      {Words, ' ', "\"\" x", 5, {"", "x"}},
      {SplitFields, ',', "a,,b", 5, {"a", "", "b"}},
      {SplitFields, ',', "a, b", 5, {"a", "b"}},
      {SplitFields, ',', "a,", 5, {"a"}},
      {SplitFields, ',', ",a", 5, {"", "a"}},
      {SplitFields, ',', "\"x,y\",z", 5, {"x,y", "", "z"}},
      {SplitFields, ',', "a b,c", 5, {"a b", "c"}},
      {SplitFields, ',', "a,b,c", 1, {"a"}},
      {SplitFields, '"', "a\"b\"", 5, {"a", "b"}},
      {SplitFields, '\0', " a,b c", 5, {"a,b c"}},
      {SplitFieldsKeepQuotes, ' ', "a \"b c", 5, {"a", "\"b c"}},
      {SplitFieldsKeepQuotes, ' ', "copy \"my file.txt\" b", 5, {"copy", "\"my file.txt\"", "b"}},
      {SplitFieldsKeepQuotes, ',', "a,\"b,c\"d,e", 5, {"a", "\"b,c\"d", "e"}},
      {SplitFieldsKeepQuotes, ',', "\"a\",\"b\"", 5, {"\"a\"", "\"b\""}},
      {SplitFieldsKeepQuotes, ',', ",,x", 5, {"", "", "x"}},
      {SplitFieldsKeepQuotes, ' ', "\ta", 5, {"\ta"}},
      {SplitFieldsKeepQuotes, ' ', "a b c", 2, {"a", "b"}},
      {SplitFieldsKeepQuotes, '"', "a\"b\"", 5, {"a", "b"}},
      {SplitFieldsKeepQuotes, '\0', "\"a b", 5, {"\"a b"}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE("text '" + c.text + "' separator '" + std::string(1, c.separator) + "'");
    TextBuffer text(c.text);
    std::vector<char*> fields = GuardedList(c.max + 1);
    int found = c.split(c.separator, text.data(), c.max, fields.data());
    ASSERT_EQ(found, static_cast<int>(c.fields.size()));
    for (int i = 0; i < found; ++i) {
      EXPECT_TRUE(text.Holds(fields[i])) << "field " << i;
      EXPECT_EQ(std::string(fields[i]), c.fields[i]) << "field " << i;
    }
    EXPECT_EQ(fields[found], nullptr);
    for (size_t i = found + 1; i < fields.size(); ++i) {
      EXPECT_EQ(fields[i], guardEntry) << "entry " << i;
    }
    EXPECT_TRUE(text.GuardIntact());
  }
}

TEST(Splitters, WriteOnlyTheTerminatorsThatEndFields) {
  struct Case {
    Splitter split;
    char separator;
    std::string text;
    int max;
    std::string after;
  } cases[] = {
      {Words, ' ', "a b c", 2, std::string("a\0b\0c", 5)},
      {Words, ' ', "\"b c\"d", 5, std::string("\"b c\0d", 6)},
      {SplitFields, ',', "a, b", 5, std::string("a\0 b", 4)},
      {SplitFieldsKeepQuotes, ',', "a,\"b,c\",d", 2, std::string("a\0\"b,c\"\0d", 9)},
  };
  for (Case& c : cases) {
    SCOPED_TRACE("text '" + c.text + "'");
    TextBuffer text(c.text);
    std::vector<char*> fields = GuardedList(c.max + 1);
    c.split(c.separator, text.data(), c.max, fields.data());
    EXPECT_EQ(text.Bytes(), c.after);
  }
}

TEST(Splitters, NothingToSplitGivesNoFieldsAndLeavesTheText) {
  struct Case {
    std::string text;
    int max;
  } cases[] = {{"", 5}, {"   ", 5}, {"", 0}, {"a b", 0}, {"a b", -1}};
  for (Splitter split : {Words, SplitFields, SplitFieldsKeepQuotes}) {
    for (const Case& c : cases) {
      SCOPED_TRACE("text '" + c.text + "' max " + std::to_string(c.max));
      TextBuffer text(c.text);
      std::vector<char*> fields = GuardedList(1);
      EXPECT_EQ(split(' ', text.data(), c.max, fields.data()), 0);
      EXPECT_EQ(fields[0], nullptr);
      EXPECT_EQ(fields[1], guardEntry);
      EXPECT_EQ(text.Bytes(), c.text);
    }
  }
}

// ----------------------------------------------------------------------------------------------
// SplitQuoted

TEST(SplitQuoted, FillsEverySlotWithTheNextQuotedText) {
  struct Case {
    std::string text;
    int count;
    Texts slots;
    size_t end;  // where in the text the scan stops
  } cases[] = {
      {"x=\"1\" y=\"two words\"", 3, {"1", "two words", ""}, 19},
      {"x=\"1\" y=\"two words\" z", 2, {"1", "two words"}, 19},
      {"\"a\"b\"c\"", 2, {"a", "c"}, 7},
      {"a \"b c", 2, {"b c", ""}, 6},
      {"abc", 2, {"", ""}, 3},
      {"\"\"", 1, {""}, 2},
      {"\"a\"", 0, {}, 0},
      {"\"a\"", -1, {}, 0},
  };
  for (Case& c : cases) {
    SCOPED_TRACE("text '" + c.text + "' count " + std::to_string(c.count));
    TextBuffer text(c.text);
    std::vector<char*> slots = GuardedList(c.count);
    char* end = SplitQuoted(text.data(), c.count, slots.data());
    EXPECT_EQ(end, text.data() + c.end);
    for (size_t i = 0; i < c.slots.size(); ++i) {
      EXPECT_TRUE(text.Holds(slots[i])) << "slot " << i;
      EXPECT_EQ(std::string(slots[i]), c.slots[i]) << "slot " << i;
    }
    for (size_t i = c.slots.size(); i < slots.size(); ++i) {
      EXPECT_EQ(slots[i], guardEntry) << "entry " << i;
    }
    EXPECT_TRUE(text.GuardIntact());
  }
}

// ----------------------------------------------------------------------------------------------
// Counted lists

// Entries of a counted list pointing into texts the test owns, followed by guard entries.
class CountedList {
 public:
  explicit CountedList(const Texts& texts) : texts_(texts), entries_(GuardedList(0)) {
    entries_.insert(entries_.begin(), texts_.size(), nullptr);
    for (size_t i = 0; i < texts_.size(); ++i) {
      entries_[i] = texts_[i].data();
    }
  }
  char** data() { return entries_.data(); }
  char* Text(size_t i) { return texts_[i].data(); }

  // The entries now held, then that the rest is null up to the old count and guards after it.
  void ExpectHolds(int count, const Texts& expected) const {
    ASSERT_EQ(count, static_cast<int>(expected.size()));
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(std::string(entries_[i]), expected[i]) << "entry " << i;
    }
    for (size_t i = count; i < texts_.size(); ++i) {
      EXPECT_EQ(entries_[i], nullptr) << "entry " << i;
    }
    for (size_t i = texts_.size(); i < entries_.size(); ++i) {
      EXPECT_EQ(entries_[i], guardEntry) << "entry " << i;
    }
    EXPECT_EQ(texts_, originals_) << "an entry's text changed";
  }

 private:
  Texts texts_;
  Texts originals_ = texts_;
  std::vector<char*> entries_;
};

TEST(ArgRemove, RemovesTheFirstEntryEqualIgnoringCase) {
  struct Case {
    Texts list;
    int count;
    const char* text;
    int result;
    Texts left;  // what stays after a removal
  } cases[] = {
      {{"prog", "-v", "file", "-v"}, 4, "-V", 1, {"prog", "file", "-v"}},
      {{"a", "B"}, 2, "b", 1, {"a"}},
      {{"only"}, 1, "ONLY", 1, {}},
      {{"prog", "-v"}, 2, "-vv", 0, {}},
      {{"prog", "-vv"}, 2, "-v", 0, {}},
      {{"\xC9"}, 1, "\xE9", 0, {}},
      {{"a", "b", "c"}, 2, "c", 0, {}},
      {{"x"}, 0, "x", 0, {}},
      {{"x"}, -1, "x", 0, {}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(std::string("removing '") + c.text + "' count " + std::to_string(c.count));
    CountedList list(c.list);
    int count = c.count;
    EXPECT_EQ(ArgRemove(&count, list.data(), c.text), c.result);
    if (c.result == 1) {
      list.ExpectHolds(count, c.left);
    } else {
      EXPECT_EQ(count, c.count);
      list.ExpectHolds(static_cast<int>(c.list.size()), c.list);
    }
  }
}

TEST(ArgTakePrefix, TakesTheFirstEntryStartingWithThePrefix) {
  struct Case {
    Texts list;
    int count;
    const char* prefix;
    int taken;   // index of the entry taken, -1 for none
    Texts left;  // what stays after taking
  } cases[] = {
      {{"prog", "-SIZE=12", "x"}, 3, "-size=", 1, {"prog", "x"}},
      {{"-o=a", "-O=b"}, 2, "-o=", 0, {"-O=b"}},
      {{"prog", "-size"}, 2, "-size=", -1, {}},
      {{"prog", "x"}, 2, "", 0, {"x"}},
      {{"-\xC9=1"}, 1, "-\xE9=", -1, {}},
      {{"-s=1", "x"}, 0, "-s=", -1, {}},
      {{"-s=1", "x"}, -2, "-s=", -1, {}},
  };
  const char fallback[] = "fallback";
  for (Case& c : cases) {
    SCOPED_TRACE(std::string("prefix '") + c.prefix + "' count " + std::to_string(c.count));
    CountedList list(c.list);
    int count = c.count;
    const char* result = ArgTakePrefix(&count, list.data(), c.prefix, fallback);
    if (c.taken < 0) {
      EXPECT_EQ(result, fallback);
      EXPECT_EQ(count, c.count);
      list.ExpectHolds(static_cast<int>(c.list.size()), c.list);
    } else {
      // The rest of the argument, in the entry's own storage.
      EXPECT_EQ(result, list.Text(static_cast<size_t>(c.taken)) + std::strlen(c.prefix));
      list.ExpectHolds(count, c.left);
    }
  }
}

TEST(ArgLists, ANullEntryIsPassedOverAndNeverMatches) {
  char a[] = "-a", b[] = "-b=1";
  char* entries[] = {nullptr, a, b};
  int count = 3;
  EXPECT_EQ(ArgRemove(&count, entries, "-a"), 1);
  EXPECT_EQ(ArgTakePrefix(&count, entries, "-b=", nullptr), b + 3);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(entries[0], nullptr);
  EXPECT_EQ(ArgTakePrefix(&count, entries, "", a), a);
  EXPECT_EQ(ArgRemove(&count, entries, ""), 0);
  EXPECT_EQ(count, 1);
}

}  // namespace
