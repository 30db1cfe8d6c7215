#include "cutter/piece_cut.h"

#include <new>
#include <utility>

namespace {

// An encoded piece, waiting for its turn.
class EncodedPiece final : public MadePiece {
 public:
  EncodedPicture encoded;
  size_t HeldBytes() const override { return encoded.HeldBytes(); }
  bool MoveIntoPlace() override { return encoded.MoveIntoPlace(); }
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
  if (!writers_) {
    LayOut(picture);
  }
  if (!writers_) {
    return -1;
  }
  return writers_->Finish([this](unsigned worker, int64_t index) { return Make(worker, index); });
}

void PieceCut::LayOut(FIBITMAP* picture) {
  picture_ = picture;
  const int64_t pieces = layout_(picture);
  writers_.reset(new (std::nothrow) PieceWriters(pieces, mostWorkers_));
}

void PieceCut::RowsLoaded(FIBITMAP* picture, unsigned rows) {
  if (rows == 0) {
    // With one worker, the one that loads, nothing can be made meanwhile.
    LayOut(picture);
    if (writers_ && writers_->Workers() > 1) {
      writers_->Start([this](unsigned worker, int64_t index) { return Make(worker, index); },
                      [this](int64_t index) { return rectangle_(index).bottom; });
    }
  } else if (writers_) {
    writers_->RowsIn(rows);
  }
}

void PieceCut::LoadFailed() {
  if (writers_) {
    writers_->Abandon();
  }
}

std::unique_ptr<MadePiece> PieceCut::Make(unsigned worker, int64_t index) {
  const PieceRectangle r = rectangle_(index);
  Picture piece = PieceOf(picture_, r.left, r.top, r.right, r.bottom);
  std::unique_ptr<EncodedPiece> made(new (std::nothrow) EncodedPiece);
  if (!made ||
      !EncodePicture(piece.get(), name_(worker, index), saveFlags_, source_, made->encoded)) {
    return nullptr;
  }
  return made;
}
