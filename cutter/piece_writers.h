// Writing a command's pieces. Where the process may use several cores, a few worker threads make
// and encode one piece each at a time, while the files still appear in the command's order: a
// finished piece waits until every piece before it has been moved over its name.
#pragma once

#include <cstdint>
#include <functional>

// Called by a piece's writer right before its file is moved over its name.
using BeforeMove = std::function<void()>;

// Writes piece `index` with the worker's own buffers (`worker` counts from 0), calling
// `beforeMove` before its file is moved into place; true when it was written. It must not end
// the process from a worker other than 0, which is the calling thread.
using PieceWriter = std::function<bool(unsigned worker, int64_t index, const BeforeMove&)>;

class PieceWriters {
 public:
  // For `pieces` pieces: one worker per core the process may use, at most `mostWorkers`, and no
  // more than there are pieces. With one worker everything runs on the calling thread.
  PieceWriters(int64_t pieces, unsigned mostWorkers);

  unsigned Workers() const { return workers_; }

  // Writes every piece; each one's effects come after those of the pieces before it. Returns
  // the index of the first piece not written, or -1 when all were.
  int64_t Run(const PieceWriter& write);

 private:
  int64_t pieces_;
  unsigned workers_;
};
