#include "cutter/picture_limits.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "cutter/picture_files.h"
#include "platform/platform.h"

namespace {

// Headers declare up to 2^31 x 2^31 pixels: products saturate instead of wrapping.
constexpr uint64_t kMost = ~uint64_t{0};

uint64_t Times(uint64_t a, uint64_t b) {
  return (a != 0 && b > kMost / a) ? kMost : a * b;
}

uint64_t Plus(uint64_t a, uint64_t b) {
  return b > kMost - a ? kMost : a + b;
}

uint64_t CeilDiv(uint64_t a, uint64_t b) {
  return a / b + (a % b != 0 ? 1 : 0);
}

uint64_t RoundUp(uint64_t a, uint64_t multiple) {
  return Times(CeilDiv(a, multiple), multiple);
}

// A row of the library's bitmaps: whole 32-bit words.
uint64_t Pitch(uint64_t width, unsigned bitsPerPixel) {
  return Times(CeilDiv(Times(width, bitsPerPixel), 32), 4);
}

uint32_t LittleEndian(const unsigned char* bytes, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

uint32_t BigEndian(const unsigned char* bytes, int size) {
  uint32_t value = 0;
  for (int i = 0; i < size; ++i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

// A file read a block at a time. The checks walk whole files, a JPEG byte by byte, and stdio
// would cost a call (and a lock) for every byte.
class Reader {
 public:
  explicit Reader(const char* fileName) : file_(std::fopen(fileName, "rb")) {
    if (file_) {
      std::setvbuf(file_.get(), nullptr, _IONBF, 0);  // the block is the buffer
      block_.reset(new (std::nothrow) unsigned char[kBlockBytes]);
    }
  }

  bool IsOpen() const { return block_ != nullptr; }

  // The size of the file opened, as the system tells it.
  bool Size(unsigned long long& bytes) const { return platform::SizeOfFile(file_.get(), bytes); }

  // The next byte; EOF at the end of the file.
  int Byte() {
    if (at_ == end_ && !Refill()) {
      return EOF;
    }
    return block_[at_++];
  }

  // Passes over the bytes up to the next `value` and reads it: `value`, or EOF at the end.
  int Through(unsigned char value) {
    for (;;) {
      const void* found = std::memchr(block_.get() + at_, value, end_ - at_);
      if (found != nullptr) {
        at_ = static_cast<size_t>(static_cast<const unsigned char*>(found) - block_.get()) + 1;
        return value;
      }
      if (!Refill()) {
        return EOF;
      }
    }
  }

  bool Read(unsigned char* bytes, size_t size) {
    while (size > 0) {
      if (at_ == end_ && !Refill()) {
        return false;
      }
      const size_t take = std::min(size, end_ - at_);
      std::memcpy(bytes, block_.get() + at_, take);
      at_ += take;
      bytes += take;
      size -= take;
    }
    return true;
  }

  // Passes over `size` bytes; past the end of the file, nothing more is read.
  void Skip(uint64_t size) {
    if (size <= end_ - at_) {
      at_ += size;
      return;
    }
    size -= end_ - at_;
    at_ = end_ = 0;
    while (size > 0 && !ended_) {
      const long step = static_cast<long>(std::min<uint64_t>(size, LONG_MAX));
      ended_ = std::fseek(file_.get(), step, SEEK_CUR) != 0;
      size -= static_cast<uint64_t>(step);
    }
  }

 private:
  static constexpr size_t kBlockBytes = size_t{256} << 10;

  bool Refill() {
    at_ = 0;
    end_ = ended_ ? 0 : std::fread(block_.get(), 1, kBlockBytes, file_.get());
    return end_ > 0;
  }

  File file_;
  std::unique_ptr<unsigned char[]> block_;
  size_t at_ = 0;   // the next byte in block_
  size_t end_ = 0;  // the bytes in block_
  bool ended_ = false;
};

// The bitmap the library would make, as its plugin reads it from the header alone. Only for
// BMP and PNG: the JPEG plugin starts the decompressor even then, and for a file of several
// scans that allocates every coefficient and reads the whole file.
bool LibraryBitmap(FREE_IMAGE_FORMAT format, const char* fileName, PictureDemand& demand,
                   unsigned& bitsPerPixel) {
  Picture header(FreeImage_Load(format, fileName, FIF_LOAD_NOPIXELS));
  if (!header) {
    return false;
  }
  demand.width = FreeImage_GetWidth(header.get());
  demand.height = FreeImage_GetHeight(header.get());
  demand.dotsPerMetreX = FreeImage_GetDotsPerMeterX(header.get());
  demand.dotsPerMetreY = FreeImage_GetDotsPerMeterY(header.get());
  bitsPerPixel = FreeImage_GetBPP(header.get());
  return demand.width != 0 && demand.height != 0;
}

// BMP compressions.
enum : uint32_t { kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

PictureDemand BmpDemand(Reader& file, const char* fileName) {
  PictureDemand demand;
  unsigned bitmapBits = 0;
  // The file header, then the info header up to its compression (OS/2's 12-byte one has none).
  unsigned char head[34] = {};
  if (!LibraryBitmap(FIF_BMP, fileName, demand, bitmapBits) || !file.Read(head, 18)) {
    return {};
  }
  const uint32_t pixelsAt = LittleEndian(head + 10, 4);
  const bool os2 = LittleEndian(head + 14, 4) == 12;
  if (!file.Read(head + 18, os2 ? 8 : 16)) {
    return {};
  }
  const unsigned fileBits = LittleEndian(head + (os2 ? 24 : 28), 2);
  const uint32_t compression = os2 ? 0 : LittleEndian(head + 30, 4);
  const uint64_t width = demand.width;
  const uint64_t height = demand.height;

  demand.decodeBytes = Times(Pitch(width, bitmapBits), height);
  if (fileBits >= 16 && (compression == kBitFields || compression == kAlphaBitFields)) {
    // Pixels under colour masks are read as they are, then converted into the bitmap.
    demand.decodeBytes = Plus(demand.decodeBytes, Times(Pitch(width, fileBits), height));
  } else if (compression == kRle4) {
    // RLE4 is decoded at a byte a pixel first.
    demand.decodeBytes = Plus(demand.decodeBytes, Times(width, height));
  }

  if (compression == kRle8 || compression == kRle4) {
    // No encoder codes more than 255 pixels in the 2 bytes of a run. The codes that end a row
    // early or skip pixels could claim more, but no writer stores a picture as mostly skipped.
    demand.leastFileBytes = Plus(pixelsAt, Times(height, Times(CeilDiv(width, 255), 2)));
  } else {
    // The library reads a short 16- to 32-bit file as far as it goes; no real one lacks half.
    demand.leastFileBytes = Plus(pixelsAt, Times(Pitch(width, fileBits), height) / 2);
  }
  demand.known = true;
  return demand;
}

// Where each Adam7 pass starts and how far apart its pixels are, across and down.
constexpr struct {
  unsigned x, y, dx, dy;
} kAdam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
              {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

// The filtered rows a PNG's zlib stream unpacks to: a filter byte, then the row's pixels.
uint64_t PngRowBytes(uint64_t width, uint64_t height, unsigned bitsPerPixel, bool interlaced) {
  if (!interlaced) {
    return Times(height, Plus(1, CeilDiv(Times(width, bitsPerPixel), 8)));
  }
  uint64_t total = 0;
  for (const auto& pass : kAdam7) {
    if (width > pass.x && height > pass.y) {
      const uint64_t columns = CeilDiv(width - pass.x, pass.dx);
      const uint64_t rows = CeilDiv(height - pass.y, pass.dy);
      total = Plus(total, Times(rows, 1 + CeilDiv(Times(columns, bitsPerPixel), 8)));
    }
  }
  return total;
}

// Deflate's best: a match of 258 bytes coded in 2 bits (1-bit length and distance codes).
constexpr uint64_t kDeflateMostBytesPerByte = 258 * 8 / 2;

enum class PngChunks { kNoHeader, kWhole, kPastEnd };

// Walks a PNG file's chunks as libpng reads them, to IEND: `ihdr` gets the data of the IHDR
// chunk (width, height, bit depth, colour type, compression, filter, interlace); libpng passes
// over unknown ancillary chunks before it, and so does this. kPastEnd as soon as a chunk's
// length runs past the end of the file: libpng allocates it before it finds out.
// `textAfterPixels` tells whether text or a time stamp follows the first image data.
PngChunks ReadPngChunks(Reader& file, uint64_t fileBytes, unsigned char (&ihdr)[13],
                        bool& textAfterPixels) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  unsigned char bytes[8];
  if (!file.Read(bytes, sizeof bytes) || std::memcmp(bytes, kSignature, sizeof bytes) != 0) {
    return PngChunks::kNoHeader;
  }
  bool header = false;
  bool pixels = false;
  for (uint64_t at = sizeof bytes;;) {
    if (!file.Read(bytes, sizeof bytes)) {  // a chunk's length and type
      // The file ends without IEND, between chunks: libpng refuses it there.
      return header ? PngChunks::kWhole : PngChunks::kNoHeader;
    }
    const uint64_t length = BigEndian(bytes, 4);
    const uint32_t type = BigEndian(bytes + 4, 4);
    at += sizeof bytes + length + 4;  // its data and CRC
    if (at > fileBytes) {
      return PngChunks::kPastEnd;
    }
    if (type == 0x49454E44) {  // IEND
      return header ? PngChunks::kWhole : PngChunks::kNoHeader;
    }
    pixels = pixels || type == 0x49444154;  // IDAT
    // tEXt, zTXt, iTXt, tIME
    textAfterPixels = textAfterPixels || (pixels && (type == 0x74455874 || type == 0x7A545874 ||
                                                     type == 0x69545874 || type == 0x74494D45));
    if (!header && type == 0x49484452) {  // IHDR
      if (length != sizeof ihdr || !file.Read(ihdr, sizeof ihdr)) {
        return PngChunks::kNoHeader;
      }
      header = true;
      file.Skip(4);
    } else {
      file.Skip(length + 4);
    }
  }
}

PictureDemand PngDemand(Reader& file, const char* fileName, uint64_t fileBytes) {
  PictureDemand demand;
  unsigned bitmapBits = 0;
  unsigned char ihdr[13];
  // The chunks first: asked for the size alone, libpng reads (and allocates) those before IDAT.
  switch (ReadPngChunks(file, fileBytes, ihdr, demand.textAfterPixels)) {
    case PngChunks::kNoHeader:
      return {};
    case PngChunks::kPastEnd:
      demand.damaged = true;
      return demand;
    case PngChunks::kWhole:
      break;
  }
  if (!LibraryBitmap(FIF_PNG, fileName, demand, bitmapBits)) {
    return {};
  }
  const unsigned bitDepth = ihdr[8];
  unsigned channels = 0;
  switch (ihdr[9]) {
    case 0:  // grey
    case 3:  // palette
      channels = 1;
      break;
    case 2:
      channels = 3;
      break;
    case 4:
      channels = 2;
      break;
    case 6:
      channels = 4;
      break;
    default:
      return {};
  }
  // The bitmap, and a pointer to each of its rows.
  demand.decodeBytes = Plus(Times(Pitch(demand.width, bitmapBits), demand.height),
                            Times(demand.height, sizeof(void*)));
  // The file's other bytes (signature, chunk headers, the zlib header) are the margin.
  const uint64_t rowBytes =
      PngRowBytes(demand.width, demand.height, bitDepth * channels, ihdr[12] == 1);
  demand.leastFileBytes = CeilDiv(rowBytes, kDeflateMostBytesPerByte);
  demand.known = true;
  return demand;
}

// JPEG markers.
enum : int {
  kSof0 = 0xC0,   // baseline
  kSof1 = 0xC1,   // extended sequential
  kSof2 = 0xC2,   // progressive
  kSof9 = 0xC9,   // sequential, arithmetic coding
  kSof10 = 0xCA,  // progressive, arithmetic coding
  kSoi = 0xD8,
  kEoi = 0xD9,
  kSos = 0xDA,
};

bool IsFrameWeCannotDecode(int marker) {
  // Lossless (0xC3, and 0xCB with arithmetic coding), hierarchical and the reserved frame
  // type: the decoder refuses them unread.
  return marker == 0xC3 || (marker >= 0xC5 && marker <= 0xC8) || marker == 0xCB ||
         (marker >= 0xCD && marker <= 0xCF);
}

// Whether the decoder reads a segment after the marker and skips it by its length. Any other
// marker it takes as standing alone, after a warning, and looks for the next marker right
// behind it: the bytes of such a "segment" may hold markers the decoder acts on, frames and
// scans included, so they must not be skipped here either.
bool HasSegment(int marker) {
  return (marker >= 0xC0 && marker <= 0xCF) || (marker >= 0xDA && marker <= 0xDD) ||
         (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
}

// Application data, comments and DNL: the decoder takes a length below 2 for no data and reads
// on right behind it. A length below 2 on any other segment is an error it stops at.
bool MayHaveNoLength(int marker) {
  return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE || marker == 0xDC;
}

// The next marker as the decoder finds it: bytes before 0xFF are skipped, so are fill bytes
// of 0xFF and a stuffed 0xFF 0x00. EOF at the end of the file.
int NextMarker(Reader& file) {
  for (;;) {
    int c = file.Through(0xFF);
    while (c == 0xFF) {
      c = file.Byte();
    }
    if (c != 0) {
      return c;
    }
  }
}

// Reads what follows `marker` as the decoder does: the length of its segment, its 2 bytes
// included and read; 0 when the decoder reads on right behind the marker (or its length); -1
// when it stops there.
long SegmentLength(Reader& file, int marker) {
  if (!HasSegment(marker)) {
    return 0;
  }
  unsigned char bytes[2];
  if (!file.Read(bytes, 2)) {
    return -1;
  }
  const long length = static_cast<long>(BigEndian(bytes, 2));
  if (length >= 2) {
    return length;
  }
  return MayHaveNoLength(marker) ? 0 : -1;
}

struct JpegFrame {
  unsigned width = 0;
  unsigned height = 0;
  unsigned components = 0;
  unsigned across[10] = {};  // each component's sampling factors
  unsigned down[10] = {};
  bool progressive = false;
  bool arithmetic = false;
  bool oneScan = false;  // the first scan holds every component, and it is the only one
};

// Reads the frame header and the first scan's header as the decoder does before it starts.
// False for anything the decoder refuses before allocating the picture.
bool ReadJpegFrame(Reader& file, JpegFrame& frame) {
  if (file.Byte() != 0xFF || file.Byte() != kSoi) {
    return false;
  }
  bool framed = false;
  for (;;) {
    const int marker = NextMarker(file);
    if (marker == EOF || marker == kEoi || marker == kSoi || IsFrameWeCannotDecode(marker)) {
      return false;
    }
    const long length = SegmentLength(file, marker);
    if (length < 0) {
      return false;
    }
    if (length == 0) {
      continue;
    }
    unsigned char bytes[2 + 6 + 3 * 10];  // from bytes + 2: what follows the length
    if (marker == kSof0 || marker == kSof1 || marker == kSof2 || marker == kSof9 ||
        marker == kSof10) {
      // Precision, height, width, components; then id, sampling and table of each.
      if (framed || length < 8 || !file.Read(bytes + 2, 6)) {
        return false;
      }
      frame.height = BigEndian(bytes + 3, 2);
      frame.width = BigEndian(bytes + 5, 2);
      frame.components = bytes[7];
      if (bytes[2] != 8 || frame.width == 0 || frame.height == 0 || frame.components == 0 ||
          frame.components > 10 || length < 8 + 3 * static_cast<long>(frame.components) ||
          !file.Read(bytes + 8, 3 * frame.components)) {
        return false;
      }
      for (unsigned i = 0; i < frame.components; ++i) {
        frame.across[i] = bytes[9 + 3 * i] >> 4;
        frame.down[i] = bytes[9 + 3 * i] & 15;
        if (frame.across[i] < 1 || frame.across[i] > 4 || frame.down[i] < 1 || frame.down[i] > 4) {
          return false;
        }
      }
      frame.progressive = marker == kSof2 || marker == kSof10;
      frame.arithmetic = marker == kSof9 || marker == kSof10;
      framed = true;
      file.Skip(static_cast<uint64_t>(length) - 8 - 3 * frame.components);
    } else if (marker == kSos) {
      if (!framed || !file.Read(bytes + 2, 1)) {
        return false;
      }
      frame.oneScan = !frame.progressive && bytes[2] >= frame.components;
      return true;
    } else {
      file.Skip(static_cast<uint64_t>(length) - 2);
    }
  }
}

// Fewest 8 x 8 blocks per byte. Huffman coding spends at least 1 bit on every block: its DC
// difference (a progressive file's first DC scan; a sequential one also spends 1 on the end of
// block). The arithmetic coder adapts until a picture of one colour costs it a thousandth of a
// bit a block, but real ones take far more: a photo 13 bits a block or more, a white page of
// 8000 x 6000 with a few lines of text 0.09 (4:4:4, quality 75). 1/128 of a bit leaves a
// margin of ten; only a nearly blank picture goes below it, refused above kCheapDecodeBytes.
constexpr uint64_t kHuffmanMostBlocksPerByte = 8;
constexpr uint64_t kArithmeticMostBlocksPerByte = 8 * 128;

// The scans from the one just begun to the end of the file, marker segments skipped whole so
// that their contents are never taken for markers.
uint64_t CountScans(Reader& file) {
  uint64_t scans = 1;
  for (;;) {
    const int marker = NextMarker(file);
    if (marker == EOF || marker == kEoi) {
      return scans;
    }
    const long length = SegmentLength(file, marker);
    if (length < 0) {
      return scans;
    }
    if (length == 0) {
      continue;
    }
    scans += marker == kSos ? 1 : 0;
    file.Skip(static_cast<uint64_t>(length) - 2);
  }
}

PictureDemand JpegDemand(Reader& file) {
  JpegFrame frame;
  if (!ReadJpegFrame(file, frame)) {
    return {};
  }
  unsigned mostAcross = 1;
  unsigned mostDown = 1;
  for (unsigned i = 0; i < frame.components; ++i) {
    mostAcross = frame.across[i] > mostAcross ? frame.across[i] : mostAcross;
    mostDown = frame.down[i] > mostDown ? frame.down[i] : mostDown;
  }
  uint64_t blocks = 0;
  uint64_t coefficientBytes = 0;
  for (unsigned i = 0; i < frame.components; ++i) {
    const uint64_t across = CeilDiv(uint64_t{frame.width} * frame.across[i], mostAcross * 8);
    const uint64_t down = CeilDiv(uint64_t{frame.height} * frame.down[i], mostDown * 8);
    blocks = Plus(blocks, Times(across, down));
    // 64 coefficients of 2 bytes a block, over whole sampling units: 2 bytes a pixel at full
    // sampling.
    coefficientBytes =
        Plus(coefficientBytes,
             Times(Times(RoundUp(across, frame.across[i]), RoundUp(down, frame.down[i])), 64 * 2));
  }
  PictureDemand demand;
  demand.width = frame.width;
  demand.height = frame.height;
  demand.mostAcross = mostAcross;
  demand.mostDown = mostDown;
  demand.leastAcross = *std::min_element(frame.across, frame.across + frame.components);
  demand.leastDown = *std::min_element(frame.down, frame.down + frame.components);
  // Grey gives 8 bits a pixel, colour 24 (CMYK is converted); other counts a byte a component.
  const unsigned bits = frame.components == 4 ? 24 : 8 * frame.components;
  demand.decodeBytes = Times(Pitch(frame.width, bits), frame.height);
  if (!frame.oneScan) {
    // Several scans: the decoder keeps every coefficient until the last scan is read.
    demand.decodeBytes = Plus(demand.decodeBytes, coefficientBytes);
  }
  demand.leastFileBytes =
      CeilDiv(blocks, frame.arithmetic ? kArithmeticMostBlocksPerByte : kHuffmanMostBlocksPerByte);
  demand.scans = CountScans(file);
  demand.known = true;
  return demand;
}

}  // namespace

PictureDemand DemandOf(FREE_IMAGE_FORMAT format, const char* fileName) {
  Reader file(fileName);
  unsigned long long fileBytes = 0;
  if (!file.IsOpen() || !file.Size(fileBytes)) {
    return {};
  }
  PictureDemand demand;
  switch (format) {
    case FIF_JPEG:
      demand = JpegDemand(file);
      break;
    case FIF_BMP:
      demand = BmpDemand(file, fileName);
      break;
    case FIF_PNG:
      demand = PngDemand(file, fileName, fileBytes);
      break;
    default:
      break;
  }
  demand.fileBytes = fileBytes;
  return demand;
}

PictureVerdict JudgeDemand(const PictureDemand& demand, uint64_t memoryBytes) {
  if (demand.damaged) {
    return PictureVerdict::kUnreadable;
  }
  if (!demand.known) {
    return PictureVerdict::kFits;
  }
  const bool farTooShort =
      demand.decodeBytes > kCheapDecodeBytes && demand.leastFileBytes > demand.fileBytes;
  if (farTooShort || demand.decodeBytes > memoryBytes) {
    return PictureVerdict::kTooLarge;
  }
  return demand.scans > kMostJpegScans ? PictureVerdict::kUnreadable : PictureVerdict::kFits;
}

PictureVerdict JudgePicture(FREE_IMAGE_FORMAT format, const char* fileName, PictureDemand& demand) {
  demand = DemandOf(format, fileName);
  return JudgeDemand(demand, platform::MemoryForPictures());
}
