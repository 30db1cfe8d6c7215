#include "cutter/piece_writers.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"

PieceWriters::PieceWriters(int64_t pieces, unsigned mostWorkers) : pieces_(pieces) {
  // Each worker holds one temporary file at a time; the main thread may hold none then.
  const unsigned cores =
      std::min({platform::UsableCores(), mostWorkers, platform::kMostPendingFiles});
  workers_ = static_cast<unsigned>(std::clamp<int64_t>(pieces, 1, std::max(cores, 1u)));
}

int64_t PieceWriters::Run(const PieceWriter& write) {
  std::mutex lock;
  std::condition_variable moved;
  int64_t nextToMove = 0;  // under `lock`: every piece before it is done
  int64_t firstFailed = -1;
  std::atomic<int64_t> nextToTake{0};

  // Holds `lock` once every piece before `index` is done.
  auto turnOf = [&](int64_t index) {
    std::unique_lock<std::mutex> held(lock);
    moved.wait(held, [&] { return nextToMove == index; });
    return held;
  };
  auto work = [&](unsigned worker) {
    // Pieces are taken in order, so the earliest unfinished one is always being worked on.
    for (int64_t index = nextToTake++; index < pieces_; index = nextToTake++) {
      const bool written = write(worker, index, [&] { turnOf(index); });
      {
        std::unique_lock<std::mutex> held = turnOf(index);
        if (!written && firstFailed < 0) {
          firstFailed = index;
        }
        nextToMove = index + 1;
      }
      moved.notify_all();
    }
  };

  std::vector<std::thread> threads;
  try {
    threads.reserve(workers_);
    for (unsigned worker = 1; worker < workers_; ++worker) {
      threads.emplace_back(work, worker);
    }
  } catch (const std::exception&) {
    // Fewer threads than cores: the ones there are do the work.
  }
  work(0);
  for (std::thread& thread : threads) {
    thread.join();
  }
  return firstFailed;
}
