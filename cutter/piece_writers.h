// Writing a command's pieces. Where the process may use several cores, a few worker threads make
// and encode one piece each at a time, while the files still appear in the command's order: a
// piece is put in place only once every piece before it is. Pieces may be made while the
// picture they come from still loads, each once the rows it needs are in; none is put in place
// before the whole picture is. Pieces take disk space in the same order: a maker opens its
// piece's temporary file only at the piece's turn (Turn).
#pragma once

#include <climits>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A piece made and waiting to be put in place.
class MadePiece {
 public:
  virtual ~MadePiece() = default;
  // Memory it holds until then.
  virtual size_t HeldBytes() const = 0;
  // Puts it in place: true when it is.
  virtual bool MoveIntoPlace() = 0;
};

// Makes piece `index` with the worker's own buffers (`worker` counts from 0); null when it
// cannot be made. It must not end the process from a worker other than 0, the calling thread.
using PieceMaker = std::function<std::unique_ptr<MadePiece>(unsigned worker, int64_t index)>;
// The rows of the picture that piece `index` is cut from which must be in before it is made.
using PieceNeeds = std::function<int64_t(int64_t index)>;

class PieceWriters {
 public:
  // For `pieces` pieces: one worker per core the process may use, at most `mostWorkers`, and no
  // more than there are pieces. With one worker everything runs on the calling thread.
  PieceWriters(int64_t pieces, unsigned mostWorkers);
  ~PieceWriters() { Abandon(); }
  PieceWriters(const PieceWriters&) = delete;
  PieceWriters& operator=(const PieceWriters&) = delete;

  unsigned Workers() const { return workers_; }
  // The workers there are for `pieces` pieces and at most `mostWorkers`.
  static unsigned WorkersFor(int64_t pieces, unsigned mostWorkers);

  // Starts the workers other than the calling thread on the pieces, each made once `needs` of it
  // are at most the rows said to be in (RowsIn). Nothing is put in place before Finish.
  void Start(const PieceMaker& make, const PieceNeeds& needs);
  // The first `rows` rows of the picture are in.
  void RowsIn(int64_t rows);
  // For the maker of piece `index`: whether every piece before it is in place; with `wait`, once
  // they are. False, at once, when the writers are abandoned.
  bool Turn(int64_t index, bool wait);
  // The whole picture is in: the calling thread works on the pieces too (as worker 0, starting
  // the others if Start did not), until every piece is made and put in place, each one's effects
  // after those of the pieces before it. Returns the index of the first piece not made or not
  // put in place, or -1 when all were.
  int64_t Finish(const PieceMaker& make);
  // Stops every worker once its piece is made, and puts nothing more in place. Returns once no
  // worker is left.
  void Abandon();

 private:
  struct Slot {
    bool made = false;   // made, or failed to be (then without a piece)
    size_t counted = 0;  // its share of heldBytes_
    std::unique_ptr<MadePiece> piece;
  };
  Slot& SlotOf(int64_t index) { return slots_[static_cast<size_t>(index % window_)]; }
  void StartThreads();
  void Work(unsigned worker);
  void MoveMadePieces(std::unique_lock<std::mutex>& held);

  // Pieces made ahead of the first one not yet in place, and the memory they may hold.
  static constexpr int64_t kWindow = 1024;
  static constexpr size_t kMostHeldBytes = size_t{128} << 20;

  int64_t pieces_;
  int64_t window_;  // slots: up to kWindow
  unsigned workers_;
  PieceMaker make_;
  PieceNeeds needs_;
  std::vector<std::thread> threads_;
  std::mutex lock_;
  std::condition_variable changed_;
  // Everything below is under `lock_`.
  std::unique_ptr<Slot[]> slots_;
  int64_t nextToTake_ = 0;
  int64_t nextToMove_ = 0;  // every piece before it is in place or failed
  int64_t rowsIn_ = 0;
  int64_t wakeAt_ = INT64_MAX;  // the fewest rows a waiting worker needs
  int64_t firstFailed_ = -1;
  size_t heldBytes_ = 0;
  bool started_ = false;
  bool whole_ = false;  // the picture is in: pieces may be put in place
  bool moving_ = false;
  bool abandoned_ = false;
};
