#include "util/files_and_processes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/environment.h"
#include "support/run_program.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;

// True when anything, a dangling link included, stands at `path`.
bool Present(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// ----------------------------------------------------------------------------------------------
// What a path names

TEST(PathKind, TellsDirectoriesFromOtherThingsAndFromNothing) {
  TempDir temp;
  fs::create_directory(temp / "dir");
  WriteBytes(temp / "file", "data");
  fs::create_directory_symlink(temp / "dir", temp / "link-to-dir");
  fs::create_symlink(temp / "file", temp / "link-to-file");
  fs::create_symlink(temp / "missing", temp / "dangling");
  struct Case {
    std::string path;
    int kind;
  };
  const Case cases[] = {
      {temp / "missing", -2},     {temp / "dir", -1},         {temp / "file", 0},
      {temp / "link-to-dir", -1}, {temp / "link-to-file", 0}, {temp / "dangling", -2},
      {"/dev/null", 0},           {temp / "file/below", -2},  {"", -2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathKind(c.path.c_str()), c.kind) << c.path;
  }
}

// ----------------------------------------------------------------------------------------------
// Removing directory trees

TEST(RemoveTree, RefusesWhatIsNoDirectoryAndRemovesNothing) {
  TempDir temp;
  WriteBytes(temp / "file", "data");
  fs::create_directory(temp / "target");
  WriteBytes(temp / "target/kept", "data");
  fs::create_directory_symlink(temp / "target", temp / "link");

  EXPECT_EQ(RemoveTree((temp / "missing").c_str()), -1);
  EXPECT_EQ(RemoveTree((temp / "file").c_str()), -1);
  // A link is not followed even when it is the path itself.
  EXPECT_EQ(RemoveTree((temp / "link").c_str()), -1);
  EXPECT_EQ(RemoveTree((temp / "link//").c_str()), -1);
  EXPECT_EQ(testing_support::ListDir(temp.path()),
            (std::vector<std::string>{"file", "link", "target"}));
  EXPECT_EQ(ReadBytes(temp / "target/kept"), "data");
}

TEST(RemoveTree, RemovesEmptyAndNestedTrees) {
  TempDir temp;
  fs::create_directory(temp / "empty");
  EXPECT_EQ(RemoveTree((temp / "empty").c_str()), 0);
  EXPECT_FALSE(Present(temp / "empty"));

  const std::string top = temp / "top";
  fs::create_directories(top + "/a/b/c/d");
  fs::create_directories(top + "/empty sub");
  fs::create_directories(top + "/.hidden");
  for (const char* file : {"/f", "/a/f", "/a/b/f with space", "/a/b/c/d/f", "/.hidden/.f"}) {
    WriteBytes(top + file, "data");
  }
  fs::create_symlink(top + "/nowhere", top + "/a/dangling");
  // A trailing slash on the path is as good as none.
  EXPECT_EQ(RemoveTree((top + "/").c_str()), 0);
  EXPECT_FALSE(Present(top));
  EXPECT_TRUE(testing_support::ListDir(temp.path()).empty());
}

TEST(RemoveTree, RemovesLinksAsLinksAndLeavesWhatTheyPointTo) {
  TempDir temp;
  const std::string outside = temp / "outside";
  fs::create_directories(outside + "/deep");
  WriteBytes(outside + "/precious", "data");
  WriteBytes(outside + "/deep/precious", "data");
  WriteBytes(temp / "lone-file", "data");

  const std::string top = temp / "top";
  fs::create_directories(top + "/sub");
  fs::create_directory_symlink(outside, top + "/to-outside");
  fs::create_directory_symlink(outside, top + "/sub/to-outside");
  fs::create_symlink(temp / "lone-file", top + "/to-file");
  fs::create_directory_symlink(top, top + "/sub/to-top");  // a loop inside the tree

  EXPECT_EQ(RemoveTree(top.c_str()), 0);
  EXPECT_FALSE(Present(top));
  EXPECT_EQ(ReadBytes(outside + "/precious"), "data");
  EXPECT_EQ(ReadBytes(outside + "/deep/precious"), "data");
  EXPECT_EQ(ReadBytes(temp / "lone-file"), "data");
}

TEST(RemoveTree, RemovesPathsLongerThanAnyFixedBuffer) {
  TempDir temp;
  const std::string top = temp / "top";
  std::string deepest = top;
  for (int level = 0; level < 8; ++level) {
    deepest += "/" + std::string(100, static_cast<char>('a' + level));
  }
  fs::create_directories(deepest);
  WriteBytes(deepest + "/" + std::string(200, 'z'), "data");
  ASSERT_GT(deepest.size(), 800u);

  EXPECT_EQ(RemoveTree(top.c_str()), 0);
  EXPECT_FALSE(Present(top));
}

// Root may remove any file, so a child that is root gives that up first.
TEST(RemoveTree, AFileThatResistsKeepsItsDirectoryAndEveryOneAbove) {
  TempDir temp;
  const std::string top = temp / "top";
  const std::string locked = top + "/keep/locked";
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (geteuid() == 0 && (chown(temp.path().c_str(), 65534, 65534) != 0 || setgid(65534) != 0 ||
                           setuid(65534) != 0 || access(temp.path().c_str(), W_OK | X_OK) != 0)) {
      _exit(77);
    }
    std::error_code ignored;
    fs::create_directories(locked, ignored);
    fs::create_directories(top + "/other/deep", ignored);
    for (const std::string& file :
         {locked + "/stuck", top + "/keep/gone", top + "/other/deep/gone", top + "/gone"}) {
      WriteBytes(file, "data");
    }
    if (chmod(locked.c_str(), 0500) != 0) {
      _exit(78);
    }
    int result = RemoveTree(top.c_str());
    chmod(locked.c_str(), 0700);
    _exit(result == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) {
    GTEST_SKIP() << "running as root, and cannot work in the temporary directory as an "
                    "ordinary user, so no file can be made to resist removal";
  }
  ASSERT_EQ(WEXITSTATUS(status), 0) << "RemoveTree did not give 0 (1), or the tree failed (78)";
  EXPECT_EQ(ReadBytes(locked + "/stuck"), "data");
  EXPECT_EQ(testing_support::ListDir(top), std::vector<std::string>{"keep"});
  EXPECT_EQ(testing_support::ListDir(top + "/keep"), std::vector<std::string>{"locked"});
}

// ----------------------------------------------------------------------------------------------
// Fresh private directories

TEST(MakeTempDir, CreatesAPrivateDirectoryInTheCallersBuffer) {
  TempDir temp;
  std::string first = temp / "work-XXXXXX";
  std::string second = first;
  char* made = MakeTempDir(first.data());
  ASSERT_EQ(made, first.data());
  ASSERT_EQ(MakeTempDir(second.data()), second.data());

  EXPECT_NE(first, second);
  for (const std::string& name : {first, second}) {
    EXPECT_EQ(name.compare(0, name.size() - 6, temp / "work-"), 0) << name;
    // The six X characters give way to letters and digits; X is one of them, so a name may
    // still hold some.
    EXPECT_EQ(
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
                               name.size() - 6),
        std::string::npos)
        << name;
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0) << name;
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u) << name;
  }
}

TEST(MakeTempDir, GivesNullAndTheCallersPatternWhenNothingCanBeMade) {
  TempDir temp;
  const std::string patterns[] = {
      temp / "no-such-dir/work-XXXXXX",  // five tries, all failing
      temp / "five-XXXXX",               // not six X characters at the end
      temp / "XXXXXX-after",
      "",
  };
  for (const std::string& pattern : patterns) {
    std::string buffer = pattern;
    EXPECT_EQ(MakeTempDir(buffer.data()), nullptr) << pattern;
    EXPECT_EQ(buffer, pattern);
  }
  EXPECT_TRUE(testing_support::ListDir(temp.path()).empty());
}

// ----------------------------------------------------------------------------------------------
// Running programs

// A copy of the reporting program, at `path`, ready to run.
void PlaceReporter(const std::string& path) {
  fs::copy_file(DOLVANE_REPORT_ARGS, path, fs::copy_options::overwrite_existing);
  fs::permissions(path, fs::perms::owner_all);
}

// The arguments the reporting program last received, program name first.
std::vector<std::string> Reported(const std::string& report) {
  std::vector<std::string> args;
  std::string bytes = ReadBytes(report);
  for (size_t start = 0; start < bytes.size();) {
    size_t end = bytes.find('\0', start);
    args.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

class Processes : public ::testing::Test {
 protected:
  TempDir temp;
  std::string report = temp / "report";
  ScopedEnv reportTo{"DOLVANE_CHILD_REPORT", report.c_str()};
  ScopedEnv exitCode{"DOLVANE_CHILD_EXIT", nullptr};
  std::string program = DOLVANE_REPORT_ARGS;
};

TEST_F(Processes, SpawnCommandGivesTheProgramsExitCode) {
  struct Case {
    const char* arguments;
    int result;
  };
  const Case cases[] = {
      {"", 0}, {" exit=3", 3}, {" exit=255", 255}, {" signal=15", 128 + 15}, {" signal=9", 128 + 9},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SpawnCommand((program + c.arguments).c_str()), c.result) << c.arguments;
  }
}

TEST_F(Processes, SpawnCommandHandsOverPartsWithoutTheirEnclosingQuotes) {
  fs::create_directory(temp / "my tools");
  const std::string quotedPath = temp / "my tools/report args";
  PlaceReporter(quotedPath);
  std::string command =
      "  \"" + quotedPath + "\" \"my file.txt\"  plain \"\" a\"b c\"d \"open end  exit=5";
  EXPECT_EQ(SpawnCommand(command.c_str()), 0);
  // Only quotes that enclose a whole part go; an open quote runs to the end of the text.
  EXPECT_EQ(Reported(report), (std::vector<std::string>{quotedPath, "my file.txt", "plain", "",
                                                        "a\"b c\"d", "\"open end  exit=5"}));
}

TEST_F(Processes, SpawnCommandHandsOverTwentyPartsAtMost) {
  std::string command = program;
  std::vector<std::string> expected = {program};
  for (int i = 1; i < 25; ++i) {
    command += " a" + std::to_string(i);
    if (i < 20) {
      expected.push_back("a" + std::to_string(i));
    }
  }
  EXPECT_EQ(SpawnCommand((command + " exit=9").c_str()), 0);
  EXPECT_EQ(Reported(report), expected);
}

TEST_F(Processes, SpawnCommandLooksUpABareNameAlongThePath) {
  fs::create_directory(temp / "bin");
  PlaceReporter(temp / "bin/reporter");
  WriteBytes(temp / "bin/not-executable", "data");
  ScopedEnv path("PATH", ("/nonexistent::" + temp / "bin").c_str());
  EXPECT_EQ(SpawnCommand("reporter exit=4 x"), 4);
  EXPECT_EQ(Reported(report), (std::vector<std::string>{"reporter", "exit=4", "x"}));
  EXPECT_EQ(SpawnCommand("not-executable"), -1);
}

TEST_F(Processes, SpawnCommandGivesMinusOneWhenNothingCanStart) {
  WriteBytes(temp / "plain-file", "data");
  const std::string commands[] = {
      "",
      "    ",
      "\"\" exit=3",
      "\" exit=3",
      "dolvane-no-such-program exit=3",
      "/no/such/dir/program",
      temp.path(),
      temp / "plain-file",
  };
  for (const std::string& command : commands) {
    EXPECT_EQ(SpawnCommand(command.c_str()), -1) << command;
  }
  EXPECT_FALSE(Present(report));
}

TEST_F(Processes, ShellRunWaitStartsAProgramDirectly) {
  EXPECT_EQ(ShellRunWait(program.c_str(), "exit=3 \"two words\"", 1), 3);
  EXPECT_EQ(Reported(report), (std::vector<std::string>{program, "exit=3", "two words"}));
  EXPECT_EQ(ShellRunWait(program.c_str(), nullptr, 0), 0);
  EXPECT_EQ(Reported(report), std::vector<std::string>{program});
  EXPECT_EQ(ShellRunWait(program.c_str(), "signal=15", 0), 128 + 15);
}

TEST_F(Processes, ShellRunWaitOpensOtherFilesWithTheDesktopOpener) {
  fs::create_directory(temp / "bin");
  PlaceReporter(temp / "bin/xdg-open");
  const std::string document = temp / "notes.txt";
  WriteBytes(document, "data");
  ScopedEnv path("PATH", (temp / "bin").c_str());
  ScopedEnv opener("DOLVANE_CHILD_EXIT", "7");

  EXPECT_EQ(ShellRunWait(document.c_str(), "ignored", 1), 7);
  EXPECT_EQ(Reported(report), (std::vector<std::string>{"xdg-open", document}));
  EXPECT_EQ(ShellRunWait(temp.path().c_str(), nullptr, 1), 7);
  EXPECT_EQ(Reported(report), (std::vector<std::string>{"xdg-open", temp.path()}));
}

TEST_F(Processes, ShellRunWaitGivesMinusOneWhenNothingCanBeOpened) {
  fs::create_directory(temp / "bin");
  const std::string document = temp / "notes.txt";
  WriteBytes(document, "data");
  {
    ScopedEnv path("PATH", (temp / "bin").c_str());
    EXPECT_EQ(ShellRunWait(document.c_str(), nullptr, 1), -1) << "no opener on the path";
  }
  PlaceReporter(temp / "bin/xdg-open");
  ScopedEnv path("PATH", (temp / "bin").c_str());
  for (const std::string& file : {temp / "missing.txt", std::string(), std::string("nowhere")}) {
    EXPECT_EQ(ShellRunWait(file.c_str(), nullptr, 1), -1) << file;
  }
  EXPECT_FALSE(Present(report));
}

}  // namespace
