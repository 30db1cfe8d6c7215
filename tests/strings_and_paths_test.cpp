#include "util/strings_and_paths.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "support/memory_limit.h"

namespace {

constexpr char kFatal[] = "^Morvick Dolvane Ver 1\\.01\n";

// A buffer with guard bytes after the room a routine may use, to show it writes no further.
class Guarded {
 public:
  explicit Guarded(int room) : room_(static_cast<size_t>(room > 0 ? room : 0) + 1) {
    bytes_.assign(room_ + 8, '#');
  }
  char* data() { return bytes_.data(); }
  bool GuardIntact() const { return bytes_.substr(room_) == std::string(8, '#'); }

 private:
  size_t room_;
  std::string bytes_;
};

// ----------------------------------------------------------------------------------------------
// Owned copies

TEST(OwnedCopies, StrDupCopiesEveryByteIntoNewStorage) {
  for (const char* text : {"", "a", "photo.jpg", "\xff\x80 \t\n"}) {
    char* copy = StrDup(text);
    EXPECT_NE(copy, text);
    EXPECT_STREQ(copy, text);
    delete[] copy;
  }
}

TEST(OwnedCopies, StrAssignReplacesTheSlotsText) {
  char* slot = nullptr;
  EXPECT_EQ(StrAssign(&slot, "first"), slot);
  EXPECT_STREQ(slot, "first");
  EXPECT_STREQ(StrAssign(&slot, ""), "");
  EXPECT_STREQ(slot, "");
  delete[] slot;
}

TEST(OwnedCopies, StrAssignTakesASourceFromTheSlotsOwnText) {
  // Long enough that a released block's bookkeeping would overwrite what a late copy reads.
  const std::string text = "a text long enough to span several words of storage";
  struct Case {
    size_t offset;  // where in the slot's own text the source starts
  } cases[] = {{0}, {1}, {17}, {text.size()}};
  for (const Case& c : cases) {
    char* slot = StrDup(text.c_str());
    StrAssign(&slot, slot + c.offset);
    EXPECT_EQ(std::string(slot), text.substr(c.offset)) << "offset " << c.offset;
    delete[] slot;
  }
}

TEST(OwnedCopies, RunningOutOfStorageIsFatal) {
  std::string huge(256u << 20, 'x');
  EXPECT_EXIT(
      {
        testing_support::LimitFurtherAllocation();
        StrDup(huge.c_str());
      },
      testing::ExitedWithCode(1), std::string(kFatal) + "out of memory\n$");
  EXPECT_EXIT(
      {
        char* slot = StrDup("kept");
        testing_support::LimitFurtherAllocation();
        StrAssign(&slot, huge.c_str());
      },
      testing::ExitedWithCode(1), std::string(kFatal) + "out of memory\n$");
  EXPECT_EXIT(
      {
        testing_support::LimitFurtherAllocation();
        PathDupDir(huge.c_str());
      },
      testing::ExitedWithCode(1), std::string(kFatal) + "out of memory\n$");
}

// ----------------------------------------------------------------------------------------------
// The bounded copy

TEST(StrCpyN, CopiesUpToTheLimit) {
  struct Case {
    const char* source;
    int limit;
  } cases[] = {{"", 0}, {"", 5}, {"abc", 3}, {"abc", 4}, {"abc", 100}};
  for (const Case& c : cases) {
    Guarded destination(c.limit);
    EXPECT_EQ(StrCpyN(destination.data(), c.source, c.limit), destination.data());
    EXPECT_STREQ(destination.data(), c.source);
    EXPECT_TRUE(destination.GuardIntact()) << c.source << " into " << c.limit;
  }
}

TEST(StrCpyN, ASourceLongerThanTheLimitIsFatal) {
  const std::string message = std::string(kFatal) + "StrCpyN - string too long\n$";
  char destination[8];
  EXPECT_EXIT(StrCpyN(destination, "abcd", 3), testing::ExitedWithCode(1), message);
  EXPECT_EXIT(StrCpyN(destination, "a", 0), testing::ExitedWithCode(1), message);
  EXPECT_EXIT(StrCpyN(destination, "", -1), testing::ExitedWithCode(1), message);
}

// ----------------------------------------------------------------------------------------------
// Trimming and blanks

TEST(Trimming, EachRoutineRemovesOnlyWhatItNames) {
  struct Case {
    const char* text;
    const char* newlineTrimmed;
    const char* rightTrimmed;
    int blank;
    size_t firstNonBlank;
  } cases[] = {
      {"", "", "", 1, 0},
      {"abc\n\n", "abc\n", "abc\n\n", 0, 0},
      {"abc\r\n", "abc\r", "abc\r\n", 0, 0},
      {"\n", "", "\n", 0, 0},
      {"ab \t ", "ab \t ", "ab \t", 0, 0},
      {"   ", "   ", "", 1, 3},
      {" \t \t", " \t \t", " \t \t", 1, 4},
      {" \t x ", " \t x ", " \t x", 0, 3},
      {"\v", "\v", "\v", 0, 0},
      {"a\n ", "a\n ", "a\n", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "text [" << c.text << "]");
    std::string text = c.text;
    EXPECT_EQ(StrTrimNewline(text.data()), text.data());
    EXPECT_STREQ(text.c_str(), c.newlineTrimmed);
    text = c.text;
    EXPECT_EQ(StrTrimRight(text.data()), text.data());
    EXPECT_STREQ(text.c_str(), c.rightTrimmed);
    EXPECT_EQ(StrIsBlank(c.text), c.blank);
    EXPECT_EQ(StrSkipBlanks(c.text), c.text + c.firstNonBlank);
  }
}

TEST(StrIsQuoted, LooksAtTheFirstAndLastByte) {
  struct Case {
    const char* text;
    int quoted;
  } cases[] = {
      {"\"", 1},   {"\"\"", 1},    {"\"a b\"", 1}, {"", 0},    {"\"ab", 0},
      {"ab\"", 0}, {" \"ab\"", 0}, {"\"ab\" ", 0}, {"'a'", 0}, {"a\"b", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StrIsQuoted(c.text), c.quoted) << "[" << c.text << "]";
  }
}

// ----------------------------------------------------------------------------------------------
// Columns and widths

TEST(StrMid, CutsAColumnAndTrimsItsEnd) {
  struct Case {
    const char* source;
    int start;
    int count;
    const char* result;
  } cases[] = {
      {"ABCDEFG", 2, 3, "CDE"}, {"AB   CD", 0, 5, "AB"}, {"ABC", 1, 10, "BC"},
      {"ABC", 3, 2, ""},        {"ABC", 4, 2, ""},       {"ABC", 0, 0, ""},
      {"ABC", 0, -5, ""},       {"ABC", -2, 2, "AB"},    {"ABC", INT32_MIN, 1, "A"},
      {"A B ", 0, 4, "A B"},    {"A\t ", 0, 3, "A\t"},   {"", 0, 3, ""},
      {"ABC", 1, 1, "B"},       {"   ", 0, 3, ""},       {"ABC", INT32_MAX, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.source << " from " << c.start << " for " << c.count);
    Guarded destination(c.count);
    EXPECT_EQ(StrMid(destination.data(), c.source, c.start, c.count), destination.data());
    EXPECT_STREQ(destination.data(), c.result);
    EXPECT_TRUE(destination.GuardIntact());
  }
}

TEST(StrPad, FillsOrCutsToExactlyTheWidth) {
  struct Case {
    const char* source;
    int width;
    const char* result;
  } cases[] = {
      {"abc", 5, "abc  "}, {"abcdef", 3, "abc"}, {"", 2, "  "},        {"abc", 0, ""},
      {"abc", -1, ""},     {"abc", 3, "abc"},    {"a\tb", 4, "a\tb "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.source << " to " << c.width);
    Guarded destination(c.width);
    EXPECT_EQ(StrPad(destination.data(), c.source, c.width), destination.data());
    EXPECT_STREQ(destination.data(), c.result);
    EXPECT_TRUE(destination.GuardIntact());
  }
}

// ----------------------------------------------------------------------------------------------
// Paths

TEST(PathParts, FileNameAndExtensionArePositionsInThePath) {
  struct Case {
    const char* path;
    const char* fileName;
    const char* extension;  // null: the shared empty text
  } cases[] = {
      {"a.jpg", "a.jpg", ".jpg"},
      {"dir/sub\\name.txt", "sub\\name.txt", ".txt"},  // the slash wins
      {"D:\\dir\\a.jpg", "a.jpg", ".jpg"},
      {"D:a.jpg", "D:a.jpg", ".jpg"},  // a colon is no separator here
      {"dir/", "", nullptr},
      {"/", "", nullptr},
      {"", "", nullptr},
      {"photo.tar.jpg", "photo.tar.jpg", ".jpg"},
      {".profile", ".profile", ".profile"},
      {"name.", "name.", "."},
      {"my.dir/file", "file", nullptr},
      {"my.dir\\file", "file", nullptr},
      {"a/b.c\\d", "b.c\\d", ".c\\d"},  // a backslash after the last slash belongs to the name
  };
  const char* noExtension = PathExtension("none");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const char* fileName = PathFileName(c.path);
    EXPECT_EQ(fileName, c.path + std::strlen(c.path) - std::strlen(c.fileName));
    EXPECT_STREQ(fileName, c.fileName);
    const char* extension = PathExtension(c.path);
    if (c.extension == nullptr) {
      EXPECT_EQ(extension, noExtension);
    } else {
      EXPECT_EQ(extension, c.path + std::strlen(c.path) - std::strlen(c.extension));
    }
  }
  EXPECT_STREQ(noExtension, "");
}

TEST(PathParts, StripNameAndDupDir) {
  struct Case {
    const char* path;
    const char* stripped;  // null: path unchanged and the shared empty text returned
    const char* directory;
  } cases[] = {
      {"D:\\dir\\a.jpg", "D:\\dir", "D:\\dir\\"},
      {"/a.jpg", "", ""},
      {"a.jpg", nullptr, ""},
      {"D:a.jpg", nullptr, "D:"},
      {"dir/a.jpg", "dir", ""},
      {"dir/sub\\a.jpg", "dir", "dir/sub\\"},
      {"x\\y/z", "x\\y", "x\\"},
      {"C:\\", "C:", "C:\\"},
      {"a:b:c", nullptr, "a:b:"},
      {"", nullptr, ""},
  };
  const char* noExtension = PathExtension("none");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string path = c.path;
    const char* result = PathStripName(path.data());
    if (c.stripped == nullptr) {
      EXPECT_EQ(result, noExtension);  // the same shared empty text
      EXPECT_EQ(path, c.path);
    } else {
      EXPECT_EQ(result, path.data());
      EXPECT_STREQ(result, c.stripped);
    }
    char* directory = PathDupDir(c.path);
    EXPECT_STREQ(directory, c.directory);
    delete[] directory;
  }
}

}  // namespace
