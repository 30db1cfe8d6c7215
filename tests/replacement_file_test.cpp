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
  // The target is there at the open, or is put there only after it, as an earlier piece of the
  // same name is: the commit replaces it either way.
  for (const bool madeAfterOpen : {false, true}) {
    TempDir dir;
    std::string target = dir / "a.png";
    if (!madeAfterOpen) {
      WriteBytes(target, "old");
      chmod(target.c_str(), 0640);
    }
    {
      platform::ReplacementFile file;
      ASSERT_TRUE(file.Open(target.c_str()));
      if (madeAfterOpen) {
        WriteBytes(target, "old");
      }
      std::fputs("new", file.Stream());
      EXPECT_EQ(ReadBytes(target), "old");
      EXPECT_EQ(ListDir(dir.path()).size(), 2u);  // the target and its temporary file
      ASSERT_TRUE(file.Commit());
    }
    EXPECT_EQ(ReadBytes(target), "new");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_TRUE(madeAfterOpen || (st.st_mode & 07777) == 0640u) << std::oct << st.st_mode;
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"a.png"});
  }
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
  const std::string later = dir / "b.png";
  chmod(dir.path().c_str(), 0777);  // the directory alone would allow the rename
  // Root may write anything, so the check runs as an ordinary user when the tests run as root.
  EXPECT_EXIT(
      {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
          std::_Exit(2);
        }
        platform::ReplacementFile file;
        if (file.Open(target.c_str()) || !file.Open(later.c_str())) {
          std::_Exit(1);
        }
        // Nor is one made read-only between the open and the commit.
        WriteBytes(later, "theirs");
        chmod(later.c_str(), 0444);
        std::_Exit(file.Commit() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_EQ(ReadBytes(later), "theirs");
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"a.png", "b.png"}));
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
