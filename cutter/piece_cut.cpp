// The engine both cuts run on: loading, laying out and writing the pieces as rows arrive.
#include "cutter/piece_cut.h"

#include <algorithm>
#include <cassert>
#include <new>
#include <utility>

#include "cutter/pictures/encoded_picture.h"
#include "cutter/pictures/picture_copies.h"
#include "cutter/pictures/picture_encoding.h"
#include "util/messages.h"

namespace {

// An encoded piece, waiting for its turn.
class EncodedPiece final : public MadePiece {
 public:
  EncodedPicture encoded;
  size_t HeldBytes() const override { return encoded.HeldBytes(); }
  bool MoveIntoPlace() override {
    FatalOnCrash crash("Couldn't save file: %s", encoded.FileName());
    return encoded.MoveIntoPlace();
  }
};

}  // namespace

PieceCut::PieceCut(int32_t saveFlags, unsigned mostWorkers, Layout layout, Rectangle rectangle,
                   Name name)
    : saveFlags_(saveFlags),
      mostWorkers_(mostWorkers),
      layout_(std::move(layout)),
      rectangle_(std::move(rectangle)),
      name_(std::move(name)) {}

Picture PieceCut::Load(const char* fileName) {
  return LoadPicture(fileName, &source_, this);
}

int64_t PieceCut::Write(FIBITMAP* picture) {
  if (picture == nullptr) {
    return 0;  // no piece fits its format: the first is not written
  }
  if (picture_ == nullptr) {
    Begin(picture);
  }
  assert(picture == picture_);
  if (!writers_) {
    FatalMessageF("out of memory");
  }
  return writers_->Finish([this](unsigned worker, int64_t index) { return Make(worker, index); });
}

void PieceCut::LayOut(const PictureGeometry& geometry) {
  // Once: workers may be cutting by it already.
  assert(!laidOut_);
  laidOut_ = true;
  stored_ = geometry;
  pieces_ = layout_(AsShown(geometry));
  writers_.reset(new (std::nothrow) PieceWriters(pieces_, mostWorkers_));
}

// The pieces are cut from `picture`, the one the user named, and no other.
void PieceCut::Begin(FIBITMAP* picture) {
  assert(picture_ == nullptr);
  picture_ = picture;
  const PictureGeometry geometry = GeometryOf(picture);
  if (!laidOut_) {
    LayOut(geometry);
  }
  // A header tells no orientation; only JPEGs, laid out from the picture itself, carry one.
  assert(geometry.orientation == stored_.orientation);
}

// Pieces are cut from the stored pixels, as they arrive from the top.
PictureRectangle PieceCut::Stored(int64_t index) const {
  return StoredRectangle(stored_, rectangle_(index));
}

bool PieceCut::SomePieceMayFit() {
  for (int64_t index = 0; index < pieces_; ++index) {
    const PictureRectangle r = Stored(index);
    if (FormatHolds(FormatForName(name_(0, index)), std::max<int64_t>(r.right - r.left, 0),
                    std::max<int64_t>(r.bottom - r.top, 0))) {
      return true;
    }
  }
  return pieces_ == 0;
}

bool PieceCut::HeaderRead(const PictureGeometry& geometry) {
  LayOut(geometry);
  // Decoding gigabytes for pieces too wide or too high for their files would be wasted.
  return SomePieceMayFit();
}

void PieceCut::RowsLoaded(FIBITMAP* picture, unsigned rows) {
  if (rows == 0) {
    Begin(picture);
    // With one worker, the one that loads, nothing can be made meanwhile.
    if (writers_ && writers_->Workers() > 1) {
      writers_->Start([this](unsigned worker, int64_t index) { return Make(worker, index); },
                      [this](int64_t index) { return Stored(index).bottom; });
    }
  } else {
    assert(picture == picture_);
    if (writers_) {
      writers_->RowsIn(rows);
    }
  }
}

void PieceCut::LoadFailed() {
  if (writers_) {
    writers_->Abandon();
  }
}

std::unique_ptr<MadePiece> PieceCut::Make(unsigned worker, int64_t index) {
  const char* name = name_(worker, index);
  // The library's code may crash on what a hostile file left in the picture, on any worker.
  FatalOnCrash crash("Couldn't save file: %s", name);
  const PictureRectangle r = Stored(index);
  Picture piece = PieceOf(picture_, r.left, r.top, r.right, r.bottom);
  std::unique_ptr<EncodedPiece> made(new (std::nothrow) EncodedPiece);
  if (!made || !EncodePicture(piece.get(), name, saveFlags_, source_, made->encoded,
                              [this, index](bool wait) { return writers_->Turn(index, wait); })) {
    return nullptr;
  }
  return made;
}
