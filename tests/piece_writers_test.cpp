// Pieces written by several workers: the same effects, in the same order, as one after another.
#include "cutter/piece_writers.h"

#include <array>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/e2e_helpers.h"

namespace testing_support {
namespace {

TEST(PieceWriters, MoveEveryPieceOnceInOrderAndReportTheFirstFailure) {
  const struct {
    int64_t pieces;
    unsigned mostWorkers;
    std::set<int64_t> failing;
  } cases[] = {
      {0, 8, {}},  {1, 8, {}},          {2, 2, {}},    {2, 1, {1}},
      {40, 8, {}}, {40, 8, {7, 3, 30}}, {40, 1, {39}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.pieces) + " pieces, at most " + std::to_string(c.mostWorkers));
    PieceWriters writers(c.pieces, c.mostWorkers);
    EXPECT_GE(writers.Workers(), 1u);
    EXPECT_LE(writers.Workers(), std::min<int64_t>({std::max<int64_t>(c.pieces, 1), c.mostWorkers,
                                                    platform::UsableCores()}));
    std::mutex lock;
    std::vector<int64_t> written, moved;
    // Records its move; some hold more memory than may be kept, so their workers wait.
    struct Recorded final : MadePiece {
      std::function<void()> move;
      size_t held;
      size_t HeldBytes() const override { return held; }
      bool MoveIntoPlace() override { return move(), true; }
    };
    const int64_t firstFailed =
        writers.Finish([&](unsigned worker, int64_t index) -> std::unique_ptr<MadePiece> {
          EXPECT_LT(worker, writers.Workers());
          // Later pieces finish sooner, so that without the order they would move first.
          std::this_thread::sleep_for(std::chrono::microseconds(50 * (c.pieces - index) % 700));
          {
            std::lock_guard<std::mutex> held(lock);
            written.push_back(index);
          }
          if (c.failing.count(index) != 0) {
            return nullptr;
          }
          auto piece = std::make_unique<Recorded>();
          piece->held = index % 3 == 0 ? SIZE_MAX : 1000;
          piece->move = [&, index] {
            std::lock_guard<std::mutex> held(lock);
            moved.push_back(index);
          };
          return piece;
        });
    std::vector<int64_t> expectedMoves;
    for (int64_t i = 0; i < c.pieces; ++i) {
      if (c.failing.count(i) == 0) {
        expectedMoves.push_back(i);
      }
    }
    EXPECT_EQ(moved, expectedMoves);
    EXPECT_EQ(std::set<int64_t>(written.begin(), written.end()).size(), written.size());
    EXPECT_EQ(written.size(), static_cast<size_t>(c.pieces));
    EXPECT_EQ(firstFailed, c.failing.empty() ? -1 : *c.failing.begin());
  }
}

// Every file, message and exit code is the same, run after run, whether the program may use every
// core or one. Photos laid out as cameras write them carry a thumbnail the loader could take for
// the photo; they must be cut.
TEST(PieceWritersE2ETest, ManyCoresWriteWhatOneCoreWrites) {
  std::vector<std::vector<std::string>> commands = {
      {"-g", "3", "4", "in.jpg"},
      {"-g", "5", "2", "in.png"},
      {"-oq", "70", "-g", "2", "2", "in.bmp"},
      {"-w", "45%", "in.png", "left.jpg", "right.bmp"},
      {"-h", "20", "in.jpg", "same.png", "same.png"},  // the rest ends up in it
      {"-w", "10", "in.png", "left.png", "rest.gif"},  // left is written, then the refusal
      {"-g", "90", "2", "in.png"},                     // tiles of no rows: the first is reported
  };
  std::vector<std::pair<std::string, std::string>> inputs;
  for (const char* name : {"in.jpg", "in.png", "in.bmp"}) {
    inputs.emplace_back(name, PictureBytes(Kind::kRgb24, 61, 47, name + 2));
  }
  // Thumbnails of 160 x 120, 512 x 384 and 1600 x 1200, baseline and progressive.
  for (unsigned thumbnail = 0; thumbnail < 6; ++thumbnail) {
    const unsigned width = std::array{160u, 512u, 1600u}[thumbnail / 2];
    const std::string name = "photo" + std::to_string(inputs.size()) + ".jpg";
    inputs.emplace_back(name, CameraJpeg(width, width * 3 / 4, thumbnail % 2 == 1));
    commands.push_back({"-g", "2", "2", name});
    commands.push_back({"-w", "50%", name, "left.jpg", "right.jpg"});
  }
  for (const std::vector<std::string>& args : commands) {
    SCOPED_TRACE(DescribeArgs(args));
    std::vector<std::vector<std::string>> left;  // by each run: its exit code and messages, files
    for (int run = 0; run < 5; ++run) {
      TempDir dir;
      for (const auto& [name, bytes] : inputs) {
        WriteBytes(dir / name, bytes);
      }
      const RunResult r = RunDolvane(args, {dir.path(), -1, run == 0});
      EXPECT_TRUE(r.exitCode == 0 || DescribeArgs(args).find("[photo") == std::string::npos)
          << r.err;
      left.push_back({std::to_string(r.exitCode) + r.err});
      for (const std::string& name : ListDir(dir.path())) {
        left.back().push_back(name + ReadBytes(dir / name));
      }
      EXPECT_TRUE(left.back() == left.front()) << "run " << run << " differs from one core's";
    }
  }
}

}  // namespace
}  // namespace testing_support
