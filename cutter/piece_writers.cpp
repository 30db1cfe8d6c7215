// Writing a command's pieces on several cores, in the command's order.
#include "cutter/piece_writers.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <new>

#include "platform/platform.h"
#include "util/messages.h"

unsigned PieceWriters::WorkersFor(int64_t pieces, unsigned mostWorkers) {
  // Each worker writes one temporary file at a time, and the platform keeps a pending slot for
  // each writing thread's.
  const unsigned cores =
      std::min({platform::UsableCores(), mostWorkers, platform::kMostWritingThreads});
  return static_cast<unsigned>(std::clamp<int64_t>(pieces, 1, std::max(cores, 1u)));
}

PieceWriters::PieceWriters(int64_t pieces, unsigned mostWorkers)
    : pieces_(pieces),
      window_(std::clamp<int64_t>(pieces, 1, kWindow)),
      workers_(WorkersFor(pieces, mostWorkers)) {
  slots_.reset(new (std::nothrow) Slot[static_cast<size_t>(window_)]);
  if (!slots_) {
    FatalMessageF("out of memory");
  }
}

void PieceWriters::Start(const PieceMaker& make, const PieceNeeds& needs) {
  make_ = make;
  needs_ = needs;
  StartThreads();
}

void PieceWriters::StartThreads() {
  if (started_) {
    return;
  }
  started_ = true;
  try {
    threads_.reserve(workers_);
    for (unsigned worker = 1; worker < workers_; ++worker) {
      threads_.emplace_back(&PieceWriters::Work, this, worker);
    }
  } catch (const std::exception&) {
    // Fewer threads than cores: the ones there are do the work.
  }
}

void PieceWriters::RowsIn(int64_t rows) {
  std::unique_lock<std::mutex> held(lock_);
  rowsIn_ = std::max(rowsIn_, rows);
  // Told of every row: only a row some worker waits for wakes the workers.
  if (rowsIn_ >= wakeAt_) {
    wakeAt_ = INT64_MAX;
    held.unlock();
    changed_.notify_all();
  }
}

int64_t PieceWriters::Finish(const PieceMaker& make) {
  {
    std::unique_lock<std::mutex> held(lock_);
    if (!started_) {
      make_ = make;
    }
    whole_ = true;
    MoveMadePieces(held);
  }
  changed_.notify_all();
  StartThreads();
  Work(0);
  for (std::thread& thread : threads_) {
    thread.join();
  }
  threads_.clear();
  return firstFailed_;
}

bool PieceWriters::Turn(int64_t index, bool wait) {
  std::unique_lock<std::mutex> held(lock_);
  if (wait) {
    changed_.wait(held, [&] { return abandoned_ || nextToMove_ >= index; });
  }
  return !abandoned_ && nextToMove_ >= index;
}

void PieceWriters::Abandon() {
  {
    std::lock_guard<std::mutex> held(lock_);
    abandoned_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) {
    thread.join();
  }
  threads_.clear();
  // What was made goes unused: temporary files are removed, memory given back.
  for (int64_t i = 0; i < window_; ++i) {
    slots_[static_cast<size_t>(i)] = Slot();
  }
}

void PieceWriters::Work(unsigned worker) {
  std::unique_lock<std::mutex> held(lock_);
  for (;;) {
    // Pieces are taken in order, so the earliest unfinished one is always being worked on.
    changed_.wait(held, [&] {
      return abandoned_ || nextToTake_ >= pieces_ || nextToTake_ - nextToMove_ < window_;
    });
    if (abandoned_ || nextToTake_ >= pieces_) {
      return;
    }
    const int64_t index = nextToTake_++;
    const int64_t needs = needs_ ? needs_(index) : 0;
    while (!abandoned_ && !whole_ && rowsIn_ < needs) {
      wakeAt_ = std::min(wakeAt_, needs);
      changed_.wait(held);
    }
    if (abandoned_) {
      return;
    }
    held.unlock();
    std::unique_ptr<MadePiece> piece = make_(worker, index);
    held.lock();
    if (abandoned_) {
      return;
    }
    Slot& slot = SlotOf(index);
    const size_t bytes = piece ? piece->HeldBytes() : 0;
    // Kept until its turn while the worker goes on to the next piece, unless it is too large.
    const bool waited = bytes > kMostHeldBytes - heldBytes_;
    if (!waited) {
      slot.counted = bytes;
      heldBytes_ += bytes;
    }
    slot.made = true;
    slot.piece = std::move(piece);
    MoveMadePieces(held);
    changed_.notify_all();
    if (waited) {
      // A piece too large to keep is waited for, so that a worker holds one such at a time.
      changed_.wait(held, [&] { return abandoned_ || nextToMove_ > index; });
    }
  }
}

// With `held` locked: puts in place, in order, every made piece from nextToMove_ on, one thread
// at a time; the lock is let go while a piece moves.
void PieceWriters::MoveMadePieces(std::unique_lock<std::mutex>& held) {
  if (!whole_ || moving_) {
    return;
  }
  moving_ = true;
  while (!abandoned_ && nextToMove_ < pieces_ && SlotOf(nextToMove_).made) {
    Slot& slot = SlotOf(nextToMove_);
    std::unique_ptr<MadePiece> piece = std::move(slot.piece);
    const size_t counted = slot.counted;
    slot = Slot();
    held.unlock();
    const bool moved = piece && piece->MoveIntoPlace();
    piece.reset();
    held.lock();
    heldBytes_ -= counted;
    if (!moved && firstFailed_ < 0) {
      firstFailed_ = nextToMove_;
    }
    ++nextToMove_;
    changed_.notify_all();
  }
  moving_ = false;
}
