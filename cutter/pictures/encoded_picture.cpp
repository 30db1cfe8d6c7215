// A picture encoded for its file but not yet under its name: in memory, or in its temporary file.
#include "cutter/pictures/encoded_picture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "util/strings_and_paths.h"

namespace {

// A piece waiting for its turn is kept in memory up to this size; beyond it, its encoding waits
// for the turn and goes on in its temporary file.
constexpr size_t kMostBytesInMemory = size_t{1} << 20;

// An encoder's output: in the piece's temporary file when its turn to take disk space has come
// as it starts; else in memory, until that grows past kMostBytesInMemory and the turn has come.
// The writers only append, but may seek back to mend a header.
struct PieceStream {
  std::vector<unsigned char>& bytes;
  std::unique_ptr<platform::ReplacementFile>& file;
  const char* fileName;
  const PieceTurn& turn;
  size_t at = 0;
  bool failed = false;  // out of memory, the file failed, or the cut was abandoned
};

// Moves what is in memory, if anything, into the temporary file, at the piece's turn.
bool Spill(PieceStream& stream) {
  if (stream.turn && !stream.turn(true)) {
    return false;
  }
  stream.file.reset(new (std::nothrow) platform::ReplacementFile);
  if (!stream.file || !stream.file->Open(stream.fileName) ||
      (!stream.bytes.empty() && std::fwrite(stream.bytes.data(), 1, stream.bytes.size(),
                                            stream.file->Stream()) != stream.bytes.size()) ||
      std::fseek(stream.file->Stream(), static_cast<long>(stream.at), SEEK_SET) != 0) {
    stream.file.reset();
    return false;
  }
  std::vector<unsigned char>().swap(stream.bytes);
  return true;
}

unsigned DLL_CALLCONV WritePiece(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto& stream = *static_cast<PieceStream*>(handle);
  const size_t length = size_t{size} * count;
  if (stream.failed) {
    return 0;
  }
  const bool starts = stream.at == 0 && stream.bytes.empty();
  if (!stream.file &&
      (stream.at + length > kMostBytesInMemory ||
       (starts && (!stream.turn || stream.turn(false)))) &&
      !Spill(stream)) {
    stream.failed = true;
    return 0;
  }
  if (stream.file) {
    return static_cast<unsigned>(std::fwrite(buffer, size, count, stream.file->Stream()));
  }
  const auto* from = static_cast<const unsigned char*>(buffer);
  try {
    if (stream.at == stream.bytes.size()) {
      stream.bytes.insert(stream.bytes.end(), from, from + length);
    } else {
      stream.bytes.resize(std::max(stream.bytes.size(), stream.at + length));
      std::memcpy(stream.bytes.data() + stream.at, from, length);
    }
  } catch (const std::bad_alloc&) {
    stream.failed = true;
    return 0;
  }
  stream.at += length;
  return count;
}

unsigned DLL_CALLCONV ReadPiece(void* /*buffer*/, unsigned /*size*/, unsigned /*count*/,
                                fi_handle /*handle*/) {
  return 0;  // the writers never read back
}

int DLL_CALLCONV SeekPiece(fi_handle handle, long offset, int origin) {
  auto& stream = *static_cast<PieceStream*>(handle);
  if (stream.file) {
    return std::fseek(stream.file->Stream(), offset, origin);
  }
  const long base = origin == SEEK_CUR   ? static_cast<long>(stream.at)
                    : origin == SEEK_END ? static_cast<long>(stream.bytes.size())
                                         : 0;
  if (offset < -base) {
    return -1;
  }
  stream.at = static_cast<size_t>(base + offset);
  return 0;
}

long DLL_CALLCONV TellPiece(fi_handle handle) {
  auto& stream = *static_cast<PieceStream*>(handle);
  return stream.file ? std::ftell(stream.file->Stream()) : static_cast<long>(stream.at);
}

}  // namespace

EncodedPicture::Outcome EncodedPicture::Encode(FREE_IMAGE_FORMAT format, FIBITMAP* picture,
                                               const char* fileName, int32_t saveFlags,
                                               const PieceTurn& turn) {
  *this = EncodedPicture();
  name_ = StrDupOrNull(fileName);
  if (!name_) {
    return Outcome::kFailed;
  }
  PieceStream stream{bytes_, file_, fileName, turn};
  FreeImageIO io = {ReadPiece, WritePiece, SeekPiece, TellPiece};
  const bool written = FreeImage_SaveToHandle(format, picture, &io, &stream, saveFlags) != 0;
  const bool failed = stream.failed || (file_ && std::ferror(file_->Stream()) != 0);
  if (written && !failed) {
    return Outcome::kWritten;
  }
  *this = EncodedPicture();  // the temporary file goes
  return failed ? Outcome::kFailed : Outcome::kRefused;
}

size_t EncodedPicture::HeldBytes() const {
  return bytes_.capacity();
}

bool EncodedPicture::MoveIntoPlace() {
  bool moved = false;
  if (file_) {
    moved = file_->Commit();
  } else if (name_) {
    platform::ReplacementFile file;
    moved = file.Open(name_.get()) &&
            std::fwrite(bytes_.data(), 1, bytes_.size(), file.Stream()) == bytes_.size() &&
            file.Commit();
  }
  *this = EncodedPicture();
  return moved;
}
