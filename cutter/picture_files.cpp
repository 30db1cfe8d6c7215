#include "cutter/picture_files.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include "cutter/exif_rewrite.h"
#include "cutter/picture_limits.h"
#include "cutter/picture_orientation.h"
#include "cutter/png_gamma.h"
#include "platform/platform.h"
#include "util/ascii_case.h"
#include "util/messages.h"

namespace {

// Tested in this order; the first row whose suffix ends the name decides.
constexpr struct {
  const char* suffix;
  FREE_IMAGE_FORMAT format;
} kExtensions[] = {
    {".jpg", FIF_JPEG},
    {".jpeg", FIF_JPEG},
    {".bmp", FIF_BMP},
    {".png", FIF_PNG},
};

// The JPEG writer's quality: a number in the low 7 bits, or one of its named qualities.
constexpr int32_t kQualityBits = 0xFFF;

int JpegQuality(int32_t flags) {
  constexpr struct {
    int32_t flag;
    int quality;
  } kNamed[] = {{JPEG_QUALITYBAD, 10},
                {JPEG_QUALITYAVERAGE, 25},
                {JPEG_QUALITYNORMAL, 50},
                {JPEG_QUALITYGOOD, 75},
                {JPEG_QUALITYSUPERB, 100}};
  for (const auto& named : kNamed) {
    if ((flags & named.flag) != 0) {
      return named.quality;
    }
  }
  return (flags & 0x7F) != 0 ? (flags & 0x7F) : 75;
}

// The colour samplings the JPEG writer offers: pixels across and down per colour sample. Of two
// that lose as much, the first is taken.
constexpr struct {
  int32_t flag;
  unsigned across, down;
} kSamplings[] = {{JPEG_SUBSAMPLING_444, 1, 1},
                  {JPEG_SUBSAMPLING_422, 2, 1},
                  {JPEG_SUBSAMPLING_420, 2, 2},
                  {JPEG_SUBSAMPLING_411, 4, 1}};

// A copy of `text`; null without storage.
std::unique_ptr<char[]> CopyOf(const char* text) {
  const size_t size = std::strlen(text) + 1;
  std::unique_ptr<char[]> copy(new (std::nothrow) char[size]);
  if (copy) {
    std::memcpy(copy.get(), text, size);
  }
  return copy;
}

// libpng refuses to write a text whose keyword holds no printable Latin-1 character (an empty
// one, or one of blanks and control characters only), and with it the whole picture. It mends
// any other keyword itself.
bool PngRefusesKeyword(const char* key) {
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(key); *c != '\0'; ++c) {
    if ((*c > 32 && *c < 127) || *c > 160) {
      return false;
    }
  }
  return true;
}

void DropKeywordsPngRefuses(FIBITMAP* picture) {
  for (;;) {
    FITAG* tag = nullptr;
    FIMETADATA* search = FreeImage_FindFirstMetadata(FIMD_COMMENTS, picture, &tag);
    while (search != nullptr && !PngRefusesKeyword(FreeImage_GetTagKey(tag))) {
      if (!FreeImage_FindNextMetadata(search, &tag)) {
        FreeImage_FindCloseMetadata(search);
        search = nullptr;
      }
    }
    if (search == nullptr) {
      return;
    }
    FreeImage_FindCloseMetadata(search);
    // The key is the tag's own, and goes with it: the library needs it after that.
    std::unique_ptr<char[]> key = CopyOf(FreeImage_GetTagKey(tag));
    if (!key) {
      return;  // the writer will refuse the picture, which is then reported
    }
    FreeImage_SetMetadata(FIMD_COMMENTS, picture, key.get(), nullptr);
  }
}

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

// Set when the library, on this thread, complains about a colour profile: libpng names the
// profile (or its chunk) in every such complaint, and then refuses to write the picture.
thread_local bool tProfileRefused = false;

void DLL_CALLCONV NoteLibraryMessage(FREE_IMAGE_FORMAT /*format*/, const char* message) {
  if (message != nullptr &&
      (std::strstr(message, "profile") != nullptr || std::strstr(message, "iCCP") != nullptr)) {
    tProfileRefused = true;
  }
}

// Whether the format's writer takes a standard bitmap of this depth. The JPEG writer says yes
// to 32 bits but takes them only as CMYK, which a loaded picture never is.
bool CanExportDepth(FREE_IMAGE_FORMAT format, unsigned bpp) {
  if (format == FIF_JPEG && bpp == 32) {
    return false;
  }
  return FreeImage_FIFSupportsExportBPP(format, static_cast<int>(bpp)) != 0;
}

// One step down to a standard 8-bit-per-channel bitmap, keeping the channels there are.
FIBITMAP* ToStandardBitmap(FIBITMAP* picture) {
  switch (FreeImage_GetImageType(picture)) {
    case FIT_RGBA16:
      return FreeImage_ConvertTo32Bits(picture);
    case FIT_RGB16:
      return FreeImage_ConvertTo24Bits(picture);
    case FIT_UINT16:
      return FreeImage_ConvertTo8Bits(picture);
    default:
      return FreeImage_ConvertToStandardType(picture, TRUE);
  }
}

// A picture drawn over white, without transparency: what a format without transparency shows.
FIBITMAP* FlattenOntoWhite(FIBITMAP* picture) {
  Picture rgba;
  if (FreeImage_GetBPP(picture) != 32) {
    rgba.reset(FreeImage_ConvertTo32Bits(picture));
    if (!rgba) {
      return nullptr;
    }
    picture = rgba.get();
  }
  RGBQUAD white = {255, 255, 255, 0};
  return FreeImage_Composite(picture, FALSE, &white, nullptr);
}

}  // namespace

// The library's conversions return copies without the colour profile.
bool KeepColourProfile(FIBITMAP* from, FIBITMAP* to) {
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(from);
  if (profile->data == nullptr || profile->size == 0 || FreeImage_GetICCProfile(to)->data) {
    return true;
  }
  FIICCPROFILE* copy =
      FreeImage_CreateICCProfile(to, profile->data, static_cast<long>(profile->size));
  if (copy == nullptr || copy->data == nullptr) {
    return false;
  }
  copy->flags = profile->flags;
  return true;
}

namespace {

// Brings `picture` into a form the format can store. Returns the picture to save: `picture`
// itself, or a converted copy that `converted` owns; null when a conversion failed.
FIBITMAP* PrepareForFormat(FIBITMAP* picture, FREE_IMAGE_FORMAT format, Picture& converted) {
  FIBITMAP* original = picture;
  if (!FreeImage_FIFSupportsExportType(format, FreeImage_GetImageType(picture))) {
    converted.reset(ToStandardBitmap(picture));
    if (!converted) {
      return nullptr;
    }
    picture = converted.get();
  }
  bool transparent = FreeImage_IsTransparent(picture) != 0;
  // JPEG keeps no transparency at any depth; its transparent parts would show whatever colour
  // they happen to hold.
  bool dropsTransparency = transparent && format == FIF_JPEG;
  // Depths are those of standard bitmaps; a writer that takes 16 bits per channel at all stores
  // them as they are.
  bool depthFits = FreeImage_GetImageType(picture) != FIT_BITMAP ||
                   CanExportDepth(format, FreeImage_GetBPP(picture));
  if (!depthFits || dropsTransparency) {
    converted.reset(transparent ? FlattenOntoWhite(picture) : FreeImage_ConvertTo24Bits(picture));
    picture = converted.get();
  }
  if (picture != nullptr && picture != original && !KeepColourProfile(original, picture)) {
    return nullptr;
  }
  return picture;
}

// Most writers of 32-bit BMP files leave the fourth byte unused, as zero. Read as alpha, that
// would make the whole picture transparent, and a JPEG piece of it plain white; so a BMP whose
// fourth byte is zero everywhere is taken as opaque.
void MakeUnusedAlphaOpaque(FIBITMAP* picture) {
  if (FreeImage_GetImageType(picture) != FIT_BITMAP || FreeImage_GetBPP(picture) != 32) {
    return;
  }
  unsigned width = FreeImage_GetWidth(picture);
  unsigned height = FreeImage_GetHeight(picture);
  for (unsigned y = 0; y < height; ++y) {
    const BYTE* line = FreeImage_GetScanLine(picture, static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      if (line[x * 4 + FI_RGBA_ALPHA] != 0) {
        return;
      }
    }
  }
  for (unsigned y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(picture, static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      line[x * 4 + FI_RGBA_ALPHA] = 0xFF;
    }
  }
}

enum class Attempt { kWritten, kRefused, kFailed };  // kRefused: by the library itself

// One attempt at encoding `picture` into `bytes` or into `file` (see PieceStream), which is either
// whole afterwards or gone.
Attempt EncodeOnce(FREE_IMAGE_FORMAT format, FIBITMAP* picture, const char* fileName,
                   int32_t saveFlags, const PieceTurn& turn, std::vector<unsigned char>& bytes,
                   std::unique_ptr<platform::ReplacementFile>& file) {
  tProfileRefused = false;
  bytes.clear();
  file.reset();
  PieceStream stream{bytes, file, fileName, turn};
  FreeImageIO io = {ReadPiece, WritePiece, SeekPiece, TellPiece};
  const bool written = FreeImage_SaveToHandle(format, picture, &io, &stream, saveFlags) != 0;
  const bool failed = stream.failed || (file && std::ferror(file->Stream()) != 0);
  if (written && !failed) {
    return Attempt::kWritten;
  }
  file.reset();  // the temporary file goes
  return failed ? Attempt::kFailed : Attempt::kRefused;
}

}  // namespace

PictureLibrary::PictureLibrary() {
  FreeImage_Initialise(FALSE);
  FreeImage_SetOutputMessage(NoteLibraryMessage);
}

FREE_IMAGE_FORMAT FormatForName(const char* fileName) {
  if (std::strlen(fileName) <= 3) {
    return FIF_UNKNOWN;
  }
  for (const auto& row : kExtensions) {
    if (EndsWithIgnoringCase(fileName, row.suffix)) {
      return row.format;
    }
  }
  return FIF_UNKNOWN;
}

int32_t JpegPieceFlags(int32_t saveFlags, const PictureSource& source) {
  if ((saveFlags & ~kQualityBits) != 0) {
    return saveFlags;
  }
  int32_t sampling = 0;
  if (source.format == FIF_JPEG) {
    // The coarsest sampling the writer offers that is no coarser than the source's colour.
    unsigned most = 0;
    for (const auto& offered : kSamplings) {
      if (offered.across * source.leastAcross <= source.mostAcross &&
          offered.down * source.leastDown <= source.mostDown &&
          offered.across * offered.down > most) {
        most = offered.across * offered.down;
        sampling = offered.flag;
      }
    }
  } else if (JpegQuality(saveFlags) >= 90) {
    sampling = JPEG_SUBSAMPLING_444;
  }
  return saveFlags | sampling | JPEG_OPTIMIZE;
}

Picture LoadPicture(const char* fileName, PictureSource* source, LoadWatcher* watcher) {
  FREE_IMAGE_FORMAT format = FormatForName(fileName);
  auto refuse = [watcher] {
    if (watcher != nullptr) {
      watcher->LoadFailed();
    }
  };
  if (format == FIF_UNKNOWN) {
    refuse();
    FatalMessageF("Input file: %s - must end in .jpg or .jpeg", fileName);
  }
  // The library's readers are old code that hostile files have crashed before.
  FatalOnCrash crash("Couldn't open input file: %s", fileName);
  PictureDemand demand;
  switch (JudgePicture(format, fileName, demand)) {
    case PictureVerdict::kTooLarge:
      refuse();
      FatalMessageF("Input file: %s - picture too large (%u x %u)", fileName, demand.width,
                    demand.height);
    case PictureVerdict::kUnreadable:
      refuse();
      FatalMessageF("Couldn't open input file: %s", fileName);
    case PictureVerdict::kFits:
      break;
  }
  if (source != nullptr) {
    *source = {format, demand.mostAcross, demand.mostDown, demand.leastAcross, demand.leastDown};
  }
  if (watcher != nullptr && demand.known && format != FIF_JPEG &&
      !watcher->HeaderRead(
          {demand.width, demand.height, demand.dotsPerMetreX, demand.dotsPerMetreY})) {
    return nullptr;
  }
  // A PNG's rows may be used as they come only when no metadata follows them.
  const bool watched =
      watcher != nullptr && (format != FIF_PNG || (demand.known && !demand.textAfterPixels));
  const FILoadWatcher told = {
      watcher,
      [](void* data, FIBITMAP* picture, unsigned rows) {
        static_cast<LoadWatcher*>(data)->RowsLoaded(picture, rows);
      },
      [](void* data, FIBITMAP* /*picture*/) { static_cast<LoadWatcher*>(data)->LoadFailed(); }};
  // A PNG's samples as stored: PNG pieces keep them exactly, with the file's gamma.
  const int flags = format == FIF_JPEG ? JPEG_ACCURATE : format == FIF_PNG ? PNG_IGNOREGAMMA : 0;
  Picture picture(FreeImage_LoadWatched(format, fileName, flags, watched ? &told : nullptr));
  if (!picture) {
    refuse();
    FatalMessageF("Couldn't open input file: %s", fileName);
  }
  if (format == FIF_BMP) {
    MakeUnusedAlphaOpaque(picture.get());
  }
  return picture;
}

PictureGeometry GeometryOf(FIBITMAP* picture) {
  return {FreeImage_GetWidth(picture), FreeImage_GetHeight(picture),
          FreeImage_GetDotsPerMeterX(picture), FreeImage_GetDotsPerMeterY(picture),
          OrientationOf(picture)};
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

bool FormatHolds(FREE_IMAGE_FORMAT format, uint64_t width, uint64_t height) {
  switch (format) {
    case FIF_JPEG:
      return width <= kMostJpegSide && height <= kMostJpegSide;
    case FIF_PNG:
      return width <= kMostPngSide && height <= kMostPngSide;
    default:
      return true;
  }
}

bool EncodePicture(FIBITMAP* picture, const char* fileName, int32_t saveFlags,
                   const PictureSource& source, EncodedPicture& out, const PieceTurn& turn) {
  out = EncodedPicture();
  FREE_IMAGE_FORMAT format = FormatForName(fileName);
  if (format == FIF_UNKNOWN) {
    FatalMessageF("Save: file (%s) - must end in .jpg, .jpeg or .bmp", fileName);
  }
  // Nothing is converted or encoded for a piece its format cannot hold.
  if (picture == nullptr ||
      !FormatHolds(format, FreeImage_GetWidth(picture), FreeImage_GetHeight(picture))) {
    return false;
  }
  const unsigned orientation = OrientationOf(picture);
  // Only a PNG keeps a PNG's samples as stored along with their gamma.
  Picture corrected;
  if (format != FIF_PNG && NeedsGammaCorrection(picture)) {
    corrected = GammaCorrected(picture);
    picture = corrected.get();
    if (picture == nullptr) {
      return false;
    }
  }
  Picture converted;
  FIBITMAP* storable = PrepareForFormat(picture, format, converted);
  if (storable == nullptr) {
    return false;
  }
  // A JPEG keeps the orientation in its EXIF, which costs nothing, as long as the EXIF is kept.
  const bool keepsOrientation = format == FIF_JPEG && PrepareExifForPiece(storable);
  Picture upright;
  if (orientation != 1 && !keepsOrientation) {
    upright = Upright(storable, orientation);
    storable = upright.get();
    if (storable == nullptr) {
      return false;
    }
  }
  if (format == FIF_JPEG) {
    saveFlags = JpegPieceFlags(saveFlags, source);
  } else if (format == FIF_PNG) {
    DropKeywordsPngRefuses(storable);
  }
  out.name_ = CopyOf(fileName);
  if (!out.name_) {
    return false;
  }

  Attempt attempt = EncodeOnce(format, storable, fileName, saveFlags, turn, out.bytes_, out.file_);
  // PNG's writer refuses a colour profile it finds malformed, as some cameras and editors write
  // them; the pixels matter more than the profile, so the piece goes without it.
  FIICCPROFILE* profile = FreeImage_GetICCProfile(storable);
  if (attempt == Attempt::kRefused && tProfileRefused && format == FIF_PNG && profile != nullptr &&
      profile->size != 0) {
    const DWORD size = profile->size;
    profile->size = 0;  // hidden from the writer for this one try, not taken from the picture
    attempt = EncodeOnce(format, storable, fileName, saveFlags, turn, out.bytes_, out.file_);
    profile->size = size;
  }
  if (attempt != Attempt::kWritten) {
    out = EncodedPicture();
    return false;
  }
  return true;
}

bool SavePicture(FIBITMAP* picture, const char* fileName, int32_t saveFlags,
                 const PictureSource& source) {
  FatalOnCrash crash("Couldn't save file: %s", fileName);
  EncodedPicture encoded;
  return EncodePicture(picture, fileName, saveFlags, source, encoded) && encoded.MoveIntoPlace();
}

namespace {

// Whether the rectangle lies inside the picture and holds a pixel. The library swaps a reversed
// rectangle; an empty or reversed one is no piece here.
bool IsPieceOf(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  return left >= 0 && top >= 0 && right <= int64_t{FreeImage_GetWidth(picture)} &&
         bottom <= int64_t{FreeImage_GetHeight(picture)} && left < right && top < bottom;
}

}  // namespace

Picture CopyRectangle(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  if (!IsPieceOf(picture, left, top, right, bottom)) {
    return nullptr;
  }
  return Picture(FreeImage_Copy(picture, static_cast<int>(left), static_cast<int>(top),
                                static_cast<int>(right), static_cast<int>(bottom)));
}

Picture PieceOf(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  if (!IsPieceOf(picture, left, top, right, bottom)) {
    return nullptr;
  }
  // A view of 1- and 4-bit pixels must start on a whole byte; those pieces are copied.
  Picture view(FreeImage_CreateView(picture, static_cast<unsigned>(left),
                                    static_cast<unsigned>(top), static_cast<unsigned>(right),
                                    static_cast<unsigned>(bottom)));
  if (!view || !FreeImage_CloneMetadata(view.get(), picture)) {
    return CopyRectangle(picture, left, top, right, bottom);
  }
  return view;
}

Picture CopyArea(FIBITMAP* picture, int32_t left, int32_t top, int32_t width, int32_t height) {
  return CopyRectangle(picture, left, top, int64_t{left} + width, int64_t{top} + height);
}
