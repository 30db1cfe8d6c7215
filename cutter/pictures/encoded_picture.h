// A picture encoded for its file but not yet under its name: in memory, or in its temporary file.
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/platform.h"

// Whether the turn of a piece to take disk space has come; with `wait`, waits for it.
using PieceTurn = std::function<bool(bool wait)>;

// Its bytes in memory, or, for a large picture, its temporary file. Putting it in place is a step
// of its own, so that pieces encoded in any order can appear in the command's order.
class EncodedPicture {
 public:
  // kRefused: by the library's writer itself. kFailed: out of memory, the file failed, or the
  // cut was abandoned.
  enum class Outcome { kWritten, kRefused, kFailed };

  EncodedPicture() = default;
  EncodedPicture(EncodedPicture&&) = default;
  EncodedPicture& operator=(EncodedPicture&&) = default;

  // Encodes `picture` in `format` with `saveFlags` to go under `fileName`, in place of anything
  // held before: whole afterwards when kWritten, else holding nothing. Encoded at its turn, it
  // goes straight into its temporary file; before, it is held in memory, and when that grows
  // past 1 MiB goes on in its temporary file once the turn has come (no `turn`: it has come).
  Outcome Encode(FREE_IMAGE_FORMAT format, FIBITMAP* picture, const char* fileName,
                 int32_t saveFlags, const PieceTurn& turn);
  // Memory held until it is in place: what was allocated, not only what is used. A picture
  // waiting in its temporary file holds none.
  size_t HeldBytes() const;
  // The name it goes under; null when there is nothing to put in place.
  const char* FileName() const { return name_.get(); }
  // Puts it under its name: true when the file now holds it. Any existing file of that name
  // stays exactly as it was otherwise. Nothing is held afterwards.
  bool MoveIntoPlace();

 private:
  std::unique_ptr<char[]> name_;
  std::vector<unsigned char> bytes_;
  std::unique_ptr<platform::ReplacementFile> file_;
};
