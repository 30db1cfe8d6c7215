// The engine both cuts run on: it loads the picture, cuts it into the pieces a cut lays out and
// writes them with PieceWriters, making the first pieces from the rows already loaded while the
// rest of the picture is still being decoded. The files and their bytes are the same as when
// everything is done one after the other: a piece is made only from rows that are final, and
// nothing is put in place before the picture has loaded, so that a picture that fails to load
// leaves every file as it was.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "cutter/pictures/picture_loading.h"
#include "cutter/piece_writers.h"
#include "platform/platform.h"

class PieceCut final : public LoadWatcher {
 public:
  // Lays the cut out for a picture of `geometry` (as shown); returns how many pieces it has.
  // Called once, on the calling thread, before the pixels are in or while they load. It must not
  // end the process.
  using Layout = std::function<int64_t(const PictureGeometry& geometry)>;
  // Piece `index`'s rectangle of the picture as shown, once laid out; called from any worker.
  using Rectangle = std::function<PictureRectangle(int64_t index)>;
  // Piece `index`'s name, for worker `worker` (below PieceWriters::WorkersFor(pieces,
  // mostWorkers)); a name it forms must stay until that worker asks for its next one.
  using Name = std::function<const char*(unsigned worker, int64_t index)>;

  PieceCut(int32_t saveFlags, unsigned mostWorkers, Layout layout, Rectangle rectangle, Name name);
  ~PieceCut() = default;
  PieceCut(const PieceCut&) = delete;
  PieceCut& operator=(const PieceCut&) = delete;

  // Loads `fileName` as LoadPicture does, starting on the pieces while it loads where it can.
  // Null, with nothing decoded, when the header shows that no piece fits its file's format.
  Picture Load(const char* fileName);

  // Once the picture has loaded (or was not, as Load says): lays the cut out if that was not
  // done before, and writes every piece, each put in place after the pieces before it. Returns
  // the index of the first piece not written, or -1.
  int64_t Write(FIBITMAP* picture);

 private:
  bool HeaderRead(const PictureGeometry& geometry) override;
  void RowsLoaded(FIBITMAP* picture, unsigned rows) override;
  void LoadFailed() override;
  std::unique_ptr<MadePiece> Make(unsigned worker, int64_t index);
  void LayOut(const PictureGeometry& geometry);
  PictureRectangle Stored(int64_t index) const;
  void Begin(FIBITMAP* picture);
  bool SomePieceMayFit();

  int32_t saveFlags_;
  unsigned mostWorkers_;
  Layout layout_;
  Rectangle rectangle_;
  Name name_;
  PictureSource source_;
  bool laidOut_ = false;
  PictureGeometry stored_;  // the picture's, as stored
  int64_t pieces_ = 0;
  FIBITMAP* picture_ = nullptr;
  std::unique_ptr<PieceWriters> writers_;
  // The crash handlers stay installed for the whole cut instead of once per piece.
  platform::CrashHandlers crashHandlers_;
};
