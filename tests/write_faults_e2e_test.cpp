// Writes that the world interrupts: a file system that fills up during a cut, and a grid killed
// at random moments. Either way no file may be left half written under a final name.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/e2e_helpers.h"
#include "support/pictures.h"
#include "support/run_program.h"

namespace testing_support {
namespace {

constexpr char kTempPrefix[] = ".dolvane-";

bool IsTempName(const std::string& name) {
  return name.rfind(kTempPrefix, 0) == 0;
}

bool Contains(const Names& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Success when the file at `path` holds exactly `bytes`. A difference shows the sizes only:
// the bytes of a picture are no help in a failure message.
::testing::AssertionResult Holds(const std::string& path, const std::string& bytes) {
  const std::string found = ReadBytes(path);
  if (found == bytes) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << path << " holds " << found.size() << " bytes unlike the "
                                       << bytes.size() << " expected";
}

// ---------------------------------------------------------------------------------------------
// A full file system.

// A small tmpfs on `mountPoint` for the life of the object. Mounting needs root (and, in a
// container, the right to mount); when refused, `failure()` says why and nothing is mounted.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& mountPoint, unsigned megabytes) : mountPoint_(mountPoint) {
    // In a mount namespace of the test process's own, the mount goes with the process even when
    // it dies before the destructor runs. Without one it is only less tidy, so failure is fine.
    static const bool privateMounts =
        unshare(CLONE_NEWNS) == 0 &&
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    (void)privateMounts;
    const std::string options = "size=" + std::to_string(megabytes) + "m,mode=0755";
    if (mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC,
              options.c_str()) == 0) {
      mounted_ = true;
    } else {
      failure_ = std::string("mounting a tmpfs failed: ") + std::strerror(errno);
    }
  }
  ~SmallFileSystem() {
    // Lazily when something still holds it, so that the directory never outlives the test
    // with a mount on it.
    if (mounted_ && umount(mountPoint_.c_str()) != 0) {
      umount2(mountPoint_.c_str(), MNT_DETACH);
    }
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& failure() const { return failure_; }

 private:
  std::string mountPoint_;
  bool mounted_ = false;
  std::string failure_;
};

struct Space {
  unsigned long long block = 0;  // the unit the file system hands out
  unsigned long long free = 0;   // bytes
};

Space SpaceOf(const std::string& path) {
  struct statvfs s {};
  EXPECT_EQ(statvfs(path.c_str(), &s), 0) << path;
  return {s.f_frsize, static_cast<unsigned long long>(s.f_bavail) * s.f_frsize};
}

unsigned long long Blocks(unsigned long long bytes, unsigned long long block) {
  return (bytes + block - 1) / block;
}

// Fills the file system of `dir` with a file of its own until exactly `room` bytes (a whole
// number of blocks) are left.
void LeaveRoom(const std::string& dir, unsigned long long room) {
  const Space before = SpaceOf(dir);
  ASSERT_GT(before.block, 0u);
  ASSERT_EQ(room % before.block, 0u);
  ASSERT_GE(before.free, room);
  const std::string path = dir + "/filler";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
  const std::string zeros(1 << 16, '\0');
  for (unsigned long long left = before.free - room; left > 0;) {
    const size_t chunk = static_cast<size_t>(std::min<unsigned long long>(left, zeros.size()));
    const ssize_t n = write(fd, zeros.data(), chunk);
    if (n <= 0) {
      close(fd);
      FAIL() << "filling " << path << ": " << std::strerror(errno);
    }
    left -= static_cast<unsigned long long>(n);
  }
  close(fd);
  ASSERT_EQ(SpaceOf(dir).free, room);
}

struct FullCase {
  std::string input;  // made from the test picture in its name's format
  Names args;
  Names existing;  // outputs that exist before the run, with text of their own
  Names pieces;    // every piece the command writes, in the order it writes them
  Names fits;      // the pieces the file system has room for
  unsigned width = 480, height = 320;  // of the test picture
};

// Every case is run twice: with room enough, to learn what each piece weighs, then on a file
// system filled so that only `fits` can be written. Pieces it has no room for must fail whole,
// leave nothing behind and leave existing files as they were; the first of them is named.
TEST(WriteFaultsE2ETest, AFullFileSystemLeavesEveryFileAsItWas) {
  const Names grid2x2 = TilesInOrder("a", 2, 2, ".bmp");
  const Names grid2x3 = TilesInOrder("p", 2, 3, ".png");
  const Names grid3x3 = TilesInOrder("j", 3, 3, ".jpg");
  // clang-format off
  const FullCase cases[] = {
      // The one-name form must not lose its input.
      {"a.bmp", {"-w", "50%", "a.bmp"}, {}, {"a.bmp"}, {}},
      {"a.png", {"-h", "80%", "a.png"}, {}, {"a.png"}, {}},
      // No room at all: existing outputs stay, missing ones stay missing.
      {"a.bmp", {"-w", "50%", "a.bmp", "out.bmp", "rest.bmp"}, {"out.bmp", "rest.bmp"}, {"out.bmp", "rest.bmp"}, {}},
      {"a.bmp", {"-h", "30%", "a.bmp", "top.jpg", "bottom.png"}, {"bottom.png"}, {"top.jpg", "bottom.png"}, {}},
      // Room for the small piece only, whether it comes first or last.
      {"a.bmp", {"-w", "10%", "a.bmp", "small.bmp", "big.bmp"}, {"small.bmp", "big.bmp"}, {"small.bmp", "big.bmp"}, {"small.bmp"}},
      {"a.bmp", {"-w", "90%", "a.bmp", "big.bmp", "small.bmp"}, {"big.bmp"}, {"big.bmp", "small.bmp"}, {"small.bmp"}},
      {"a.bmp", {"-h", "15%", "a.bmp", "-", "rest.png"}, {"rest.png"}, {"rest.png"}, {}},
      // Grids: none, some or all but one of the tiles fit.
      {"a.bmp", {"-g", "2", "2", "a.bmp"}, {"a-01-01.bmp", "a-02-02.bmp"}, grid2x2, {}},
      {"a.bmp", {"-g", "2", "2", "a.bmp"}, {"a-01-01.bmp", "a-02-02.bmp"}, grid2x2, {"a-01-01.bmp", "a-01-02.bmp"}},
      {"a.bmp", {"-g", "2", "2", "a.bmp"}, {"a-02-02.bmp"}, grid2x2, {"a-01-01.bmp", "a-01-02.bmp", "a-02-01.bmp"}},
      {"p.png", {"-g", "2", "3", "p.png"}, {"p-01-02.png"}, grid2x3, {"p-01-01.png"}},
      {"j.jpg", {"-g", "3", "3", "j.jpg"}, {"j-03-03.jpg"}, grid3x3, {"j-01-01.jpg", "j-01-02.jpg", "j-01-03.jpg", "j-02-01.jpg"}},
      // The later piece, too large to keep in memory, is encoded while the first waits for the
      // picture's end: it must not take the room the first one has.
      {"big.jpg", {"-h", "40%", "big.jpg", "a.bmp", "b.bmp"}, {}, {"a.bmp", "b.bmp"}, {"a.bmp"}, 4000, 3000},
  };
  // clang-format on
  for (const FullCase& c : cases) {
    SCOPED_TRACE(DescribeArgs(c.args) + "room for " + std::to_string(c.fits.size()));
    // With room enough, every piece is written: its size says how much room it needs.
    TempDir roomy;
    WritePicture(MakePicture(Kind::kRgb24, c.width, c.height).get(), roomy / c.input);
    const std::string inputBytes = ReadBytes(roomy / c.input);
    for (const std::string& name : c.existing) {
      WriteBytes(roomy / name, "old " + name);
    }
    ExpectSaveOutcome(RunIn(roomy, c.args), "");
    std::map<std::string, std::string> reference;
    for (const std::string& piece : c.pieces) {
      reference[piece] = ReadBytes(roomy / piece);
      ASSERT_FALSE(reference[piece].empty()) << piece;
    }

    TempDir outer;
    const std::string mountPoint = outer / "fs";
    ASSERT_EQ(mkdir(mountPoint.c_str(), 0755), 0);
    SmallFileSystem fs(mountPoint, 4 + static_cast<unsigned>(inputBytes.size() >> 20) +
                                       c.width * c.height * 3 / 2 / (1 << 20));
    if (!fs.mounted()) {
      GTEST_SKIP() << fs.failure() << " (needs root outside a locked-down container)";
    }
    const std::string work = mountPoint + "/work";
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    WriteBytes(work + "/" + c.input, inputBytes);
    for (const std::string& name : c.existing) {
      WriteBytes(work + "/" + name, "old " + name);
    }

    // Room for the pieces that must fit, and one block to spare. Replacing an existing file
    // frees its blocks once the new one is in place, so the room grows by those as the cut goes.
    // Every piece that must fail has to need more than what is free when its turn comes.
    const unsigned long long block = SpaceOf(work).block;
    ASSERT_GT(block, 0u);
    unsigned long long room = block;
    for (const std::string& piece : c.fits) {
      room += Blocks(reference[piece].size(), block) * block;
    }
    unsigned long long free = room;
    std::string notWritten;
    for (const std::string& piece : c.pieces) {
      const unsigned long long needed = Blocks(reference[piece].size(), block) * block;
      if (Contains(c.fits, piece)) {
        free -= needed;
        if (Contains(c.existing, piece)) {
          free += Blocks(("old " + piece).size(), block) * block;
        }
      } else {
        ASSERT_GT(needed, free) << piece << " would fit; the case needs another picture";
        if (notWritten.empty()) {
          notWritten = piece;
        }
      }
    }
    ASSERT_FALSE(notWritten.empty()) << "every piece fits";
    ASSERT_NO_FATAL_FAILURE(LeaveRoom(mountPoint, room));

    RunResult r = RunDolvane(c.args, RunOptions{work, -1});
    EXPECT_EQ(r.signal, 0);
    ExpectSaveOutcome(r, notWritten);

    Names expected = {c.input};
    for (const std::string& name : c.existing) {
      expected.push_back(name);
    }
    for (const std::string& piece : c.fits) {
      if (!Contains(expected, piece)) {
        expected.push_back(piece);
      }
    }
    const Names listing = ListDir(work);
    EXPECT_EQ(listing, SortedNames(expected));
    EXPECT_EQ(std::count_if(listing.begin(), listing.end(), IsTempName), 0);
    EXPECT_TRUE(Holds(work + "/" + c.input, inputBytes));
    for (const std::string& name : c.existing) {
      if (!Contains(c.fits, name)) {
        EXPECT_TRUE(Holds(work + "/" + name, "old " + name));
      }
    }
    for (const std::string& piece : c.fits) {
      EXPECT_TRUE(Holds(work + "/" + piece, reference[piece]))
          << "the same piece written with room enough";
    }
  }
}

// ---------------------------------------------------------------------------------------------
// A grid killed midway.

long long Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// The seed comes from DOLVANE_KILL_SEED when set, so that a failed run can be repeated.
unsigned KillSeed() {
  if (const char* text = std::getenv("DOLVANE_KILL_SEED")) {
    return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
  }
  return std::random_device{}();
}

// SIGKILL cannot be caught, so a temporary file may remain; what must never happen is a final
// name holding anything but a complete tile, or a tile appearing before those written ahead of it.
TEST(WriteFaultsE2ETest, AGridKilledAtAnyMomentLeavesOnlyCompleteTiles) {
  constexpr int kRows = 10, kCols = 10, kKills = 30;
  constexpr unsigned kWidth = 3000, kHeight = 2000;
  constexpr unsigned kTileWidth = kWidth / kCols, kTileHeight = kHeight / kRows;
  const auto testStart = std::chrono::steady_clock::now();

  TempDir source;
  Picture made = MakePicture(Kind::kRgb24, kWidth, kHeight);
  Picture whole = Place(source, made.get(), "big.png");
  ASSERT_TRUE(whole);
  made.reset();
  const std::string inputBytes = ReadBytes(source / "big.png");
  const Names tiles = TilesInOrder("big", kRows, kCols, ".png");
  const Names grid = {"-g", std::to_string(kRows), std::to_string(kCols), "big.png"};
  auto holdsItsArea = [&](const std::string& path, size_t index) {
    const unsigned row = static_cast<unsigned>(index) / kCols;
    const unsigned col = static_cast<unsigned>(index) % kCols;
    return FileHoldsArea(path, whole.get(), col * kTileWidth, row * kTileHeight, kTileWidth,
                         kTileHeight);
  };

  // One run to its end gives the span the kills are spread over, and the tiles, checked pixel
  // by pixel here, that every tile left by a killed run must equal byte for byte.
  std::chrono::steady_clock::duration fullRun{};
  std::vector<std::string> complete;
  {
    TempDir dir;
    WriteBytes(dir / "big.png", inputBytes);
    const auto start = std::chrono::steady_clock::now();
    ExpectSaveOutcome(RunIn(dir, grid), "");
    fullRun = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(ListDir(dir.path()).size(), tiles.size() + 1);
    for (size_t i = 0; i < tiles.size(); ++i) {
      ASSERT_TRUE(holdsItsArea(dir / tiles[i], i));
      complete.push_back(ReadBytes(dir / tiles[i]));
    }
  }

  const unsigned seed = KillSeed();
  std::printf("kill seed %u (DOLVANE_KILL_SEED repeats it), full run %lld ms\n", seed,
              Milliseconds(fullRun));
  std::mt19937 random(seed);
  std::uniform_int_distribution<long long> delays(
      0, std::chrono::duration_cast<std::chrono::microseconds>(fullRun).count());

  int leftovers = 0, killedMidway = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    const std::chrono::microseconds delay(delays(random));
    SCOPED_TRACE("kill " + std::to_string(kill) + " after " + std::to_string(delay.count()) +
                 " us, seed " + std::to_string(seed));
    TempDir dir;
    WriteBytes(dir / "big.png", inputBytes);
    const pid_t pid = StartDolvane(grid, RunOptions{dir.path(), -1});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    const bool ended = WIFEXITED(status);
    if (ended) {
      EXPECT_EQ(WEXITSTATUS(status), 0);
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
      ++killedMidway;
    }

    int temps = 0;
    std::vector<bool> present(tiles.size(), false);
    for (const std::string& name : ListDir(dir.path())) {
      const auto tile = std::find(tiles.begin(), tiles.end(), name);
      if (IsTempName(name)) {
        ++temps;
      } else if (tile != tiles.end()) {
        present[static_cast<size_t>(tile - tiles.begin())] = true;
      } else if (name != "big.png") {
        ADD_FAILURE() << "unexpected file " << name;
      }
    }
    EXPECT_TRUE(Holds(dir / "big.png", inputBytes));
    // Tiles are written one after another, so those present are the first ones.
    const size_t written =
        static_cast<size_t>(std::find(present.begin(), present.end(), false) - present.begin());
    EXPECT_EQ(std::count(present.begin(), present.end(), true), static_cast<long>(written))
        << "a tile is missing before the last one written";
    for (size_t i = 0; i < written; ++i) {
      EXPECT_TRUE(Holds(dir / tiles[i], complete[i])) << "not the complete tile";
    }
    // The tile written last, the one a kill is most likely to have caught, is also read as a
    // picture.
    if (written > 0) {
      EXPECT_TRUE(holdsItsArea(dir / tiles[written - 1], written - 1));
    }
    if (ended) {
      EXPECT_EQ(written, tiles.size());
      EXPECT_EQ(temps, 0);
    }
    leftovers += temps;
  }
  std::printf("%d of %d kills landed before the end; %d temporary files left behind; %lld ms\n",
              killedMidway, kKills, leftovers,
              Milliseconds(std::chrono::steady_clock::now() - testStart));
}

}  // namespace
}  // namespace testing_support
