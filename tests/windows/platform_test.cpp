// What differs on Windows: programs get one command line, paths take backslashes, files are
// replaced by a move, and the shell starts programs.
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/temp_files.h"
#include "util/files_and_processes.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

// Where the reporting program writes the command line it was given.
class Reporter : public ::testing::Test {
 protected:
  void SetUp() override { _putenv_s("DOLVANE_CHILD_REPORT", report.c_str()); }
  void TearDown() override { _putenv_s("DOLVANE_CHILD_REPORT", ""); }

  TempDir temp;
  std::string report = temp / "report.txt";
  std::string program = DOLVANE_REPORT_COMMAND_LINE;
};

TEST_F(Reporter, SpawnCommandHandsOverPartsWithTheirQuotes) {
  fs::create_directory(temp / "my tools");
  const std::string spaced = temp / "my tools/report command line.exe";
  fs::copy_file(program, spaced);
  std::string twentyFive;
  std::string firstTwenty = program;
  for (int i = 1; i < 25; ++i) {
    twentyFive += " a" + std::to_string(i);
    if (i < 20) {
      firstTwenty += " a" + std::to_string(i);
    }
  }
  struct Case {
    std::string command;
    int result;
    std::string received;  // the program's raw command line
  };
  const Case cases[] = {
      // The quotes that hold the path together stay, so the program splits it as written.
      {"  \"" + spaced + "\" \"my file.txt\"  plain a\"b c\"d exit=5", 5,
       "\"" + spaced + "\" \"my file.txt\" plain a\"b c\"d exit=5"},
      {program + " exit=3", 3, program + " exit=3"},
      {program + twentyFive + " exit=9", 0, firstTwenty},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SpawnCommand(c.command.c_str()), c.result) << c.command;
    EXPECT_EQ(ReadBytes(report), c.received) << c.command;
  }
  for (const std::string command : {"", "   ", "\"\" x", "no-such-program-here.exe"}) {
    EXPECT_EQ(SpawnCommand(command.c_str()), -1) << command;
  }
}

TEST_F(Reporter, ShellRunWaitGivesTheExitCodeOfWhatTheShellStarted) {
  EXPECT_EQ(ShellRunWait(program.c_str(), "exit=3 \"two words\"", SW_HIDE), 3);
  EXPECT_NE(ReadBytes(report).find("exit=3 \"two words\""), std::string::npos) << ReadBytes(report);
  EXPECT_EQ(ShellRunWait((temp / "missing.exe").c_str(), nullptr, SW_HIDE), -1);
}

TEST(WindowsPaths, BackslashesSeparateLikeSlashes) {
  TempDir temp;
  const std::string top = temp.path() + "\\top";
  fs::create_directories(top + "\\a\\b");
  WriteBytes(top + "\\a\\b\\file.txt", "x");
  WriteBytes(top + "\\a\\other.txt", "y");
  struct Case {
    std::string path;
    int kind;
  };
  const Case kinds[] = {
      {top, -1},
      {top + "\\", -1},
      {top + "/a/", -1},
      {top + "\\a\\other.txt", 0},
      {top + "\\missing", -2},
  };
  for (const Case& c : kinds) {
    EXPECT_EQ(PathKind(c.path.c_str()), c.kind) << c.path;
  }
  EXPECT_EQ(RemoveTree((top + "\\a\\other.txt").c_str()), -1);
  EXPECT_EQ(RemoveTree((top + "\\").c_str()), 0);
  EXPECT_FALSE(fs::exists(top));

  // The runtime's names run out after 26 from one pattern on one thread: each try makes a new
  // folder or gives the pattern back whole.
  for (int i = 0; i < 30; ++i) {
    std::string pattern = temp.path() + "\\made-XXXXXX";
    char* made = MakeTempDir(pattern.data());
    EXPECT_TRUE(made != nullptr || pattern == temp.path() + "\\made-XXXXXX") << i;
    EXPECT_EQ(PathKind(pattern.c_str()), made != nullptr ? -1 : -2) << pattern;
  }
}

TEST(WindowsReplacementFile, KeepsWhatTheReplacedFileHadAndLeavesReadOnlyFilesAlone) {
  TempDir temp;
  const std::string target = temp.path() + "\\piece.bmp";
  struct Case {
    const char* before;  // null: no file yet
    DWORD attributes;    // given to the file before, and kept by the replacement
    bool written;
    bool madeAfterOpen;  // put there between the open and the commit, as an earlier piece is
  };
  const Case cases[] = {{nullptr, 0, true, false},
                        {"old", 0, true, false},
                        {"hidden", FILE_ATTRIBUTE_HIDDEN, true, false},
                        {"kept", FILE_ATTRIBUTE_READONLY, false, false},
                        {"hidden later", FILE_ATTRIBUTE_HIDDEN, true, true},
                        {"kept later", FILE_ATTRIBUTE_READONLY, false, true}};
  auto put = [&](const Case& c) {
    WriteBytes(target, c.before);
    SetFileAttributesA(target.c_str(), c.attributes != 0 ? c.attributes : FILE_ATTRIBUTE_NORMAL);
  };
  auto replace = [&](const std::string& name, const Case* late) {
    platform::ReplacementFile file;
    if (!file.Open(name.c_str())) {
      return false;
    }
    if (late != nullptr) {
      put(*late);
    }
    return std::fputs("new", file.Stream()) >= 0 && file.Commit();
  };
  for (const Case& c : cases) {
    fs::remove(target);
    if (c.before != nullptr && !c.madeAfterOpen) {
      put(c);
    }
    EXPECT_EQ(replace(target, c.madeAfterOpen ? &c : nullptr), c.written)
        << (c.before ? c.before : "no file");
    EXPECT_EQ(ReadBytes(target), c.written ? "new" : c.before);
    EXPECT_EQ(
        GetFileAttributesA(target.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
        c.attributes);
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    // No temporary file or backup is left beside the target either way.
    EXPECT_EQ(testing_support::ListDir(temp.path()), std::vector<std::string>{"piece.bmp"});
  }
  // Through a symbolic link, where the system makes one (Wine 8 says it did but does not), the
  // file it names is replaced.
  const std::string link = temp.path() + "\\link.bmp";
  const bool linked = CreateSymbolicLinkA(link.c_str(), target.c_str(), 0);
  const DWORD linkAttributes = GetFileAttributesA(link.c_str());
  if (linked && linkAttributes != INVALID_FILE_ATTRIBUTES &&
      (linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    EXPECT_TRUE(replace(link, nullptr));
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_NE(GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  } else {
    std::printf("no symbolic link could be made here\n");
  }
}

}  // namespace
