#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/run_program.h"

namespace {

using testing_support::ListDir;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

TEST(ReplacementFile, TargetChangesOnlyOnCommit) {
  TempDir dir;
  std::string target = dir / "a.png";
  WriteBytes(target, "old");
  chmod(target.c_str(), 0640);
  {
    platform::ReplacementFile file;
    ASSERT_TRUE(file.Open(target.c_str()));
    std::fputs("new", file.Stream());
    EXPECT_EQ(ReadBytes(target), "old");
    EXPECT_EQ(ListDir(dir.path()).size(), 2u);  // the target and its temporary file
    ASSERT_TRUE(file.Commit());
  }
  EXPECT_EQ(ReadBytes(target), "new");
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"a.png"});
}

TEST(ReplacementFile, DroppedOrAbandonedWritesLeaveNoTrace) {
  TempDir dir;
  std::string target = dir / "a.png";
  WriteBytes(target, "old");
  {
    platform::ReplacementFile file;
    ASSERT_TRUE(file.Open(target.c_str()));
    std::fputs("new", file.Stream());
    file.Discard();
    EXPECT_FALSE(file.Commit());
  }
  {
    platform::ReplacementFile file;  // gone without a commit
    ASSERT_TRUE(file.Open(target.c_str()));
    std::fputs("new", file.Stream());
  }
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"a.png"});

  platform::ReplacementFile nowhere;
  EXPECT_FALSE(nowhere.Open((dir / "missing/a.png").c_str()));
  EXPECT_FALSE(nowhere.Commit());
}

TEST(ReplacementFile, ReadOnlyTargetStaysProtected) {
  TempDir dir;
  std::string target = dir / "a.png";
  WriteBytes(target, "old");
  chmod(target.c_str(), 0444);
  chmod(dir.path().c_str(), 0777);  // the directory alone would allow the rename
  // Root may write anything, so the check runs as an ordinary user when the tests run as root.
  EXPECT_EXIT(
      {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
          std::_Exit(2);
        }
        platform::ReplacementFile file;
        std::_Exit(file.Open(target.c_str()) ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"a.png"});
}

TEST(ReplacementFile, InterruptedSaveLeavesTargetAndRemovesTemporaryFile) {
  TempDir dir;
  std::string target = dir / "a.png";
  WriteBytes(target, "old");
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EXIT(
        {
          platform::InitProcess();
          platform::ReplacementFile file;
          if (file.Open(target.c_str())) {
            std::fputs("half written", file.Stream());
            std::fflush(file.Stream());
            std::raise(sig);
          }
        },
        testing::KilledBySignal(sig), "");
    EXPECT_EQ(ReadBytes(target), "old");
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"a.png"}) << "signal " << sig;
  }
}

}  // namespace
