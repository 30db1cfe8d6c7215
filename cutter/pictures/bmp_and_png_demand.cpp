// What a BMP or PNG file's header demands: the bitmap, the buffers beside it, the least file.
#include <cstring>

#include "cutter/pictures/picture_headers.h"
#include "cutter/pictures/picture_library.h"

namespace picture_headers {
namespace {

// The bitmap the library would make, as its plugin reads it from the header alone: size,
// resolution and `bitsPerPixel`. Only for BMP and PNG: the JPEG plugin starts the decompressor
// even then, and for a file of several scans that allocates every coefficient and reads the
// whole file.
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

}  // namespace

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

}  // namespace picture_headers
