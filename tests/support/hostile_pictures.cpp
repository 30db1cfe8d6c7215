#include "support/hostile_pictures.h"

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/e2e_helpers.h"
#include "support/pictures.h"
#include "support/temp_files.h"

namespace testing_support {
namespace {

std::string BigEndian(uint32_t value, unsigned size) {
  std::string bytes = LittleEndian(value, size);
  return std::string(bytes.rbegin(), bytes.rend());
}

std::string Byte(unsigned value) {
  return std::string(1, static_cast<char>(value));
}

// A picture of the library's own making, as its file holds it.
std::string Written(Kind kind, unsigned width, unsigned height, const std::string& extension,
                    int flags = 0) {
  TempDir dir;
  const std::string path = dir / ("whole" + extension);
  WritePicture(MakePicture(kind, width, height).get(), path, flags);
  return ReadBytes(path);
}

// Where `what` first stands in `bytes`; the end when it is not there.
size_t Find(const std::string& bytes, const std::string& what) {
  const size_t at = bytes.find(what);
  EXPECT_NE(at, std::string::npos) << "no " << what.size() << "-byte marker";
  return at == std::string::npos ? bytes.size() : at;
}

// --- JPEG ---

std::string Segment(char marker, const std::string& body) {
  return std::string("\xFF") + marker + BigEndian(static_cast<uint32_t>(body.size() + 2), 2) + body;
}

// Quantisation by ones; a DC table and an AC table of one 1-bit code each, for a difference
// of 0 and for the end of the block.
const std::string kJpegTables = Segment('\xDB', '\0' + std::string(64, '\1')) +
                                Segment('\xC4', std::string("\0\1", 2) + std::string(16, '\0')) +
                                Segment('\xC4', std::string("\x10\1", 2) + std::string(16, '\0'));

// A scan of the one grey component over coefficients first..last, then its coded data.
std::string GreyScan(unsigned first, unsigned last, const std::string& data) {
  return Segment('\xDA', std::string("\1\1\0", 3) + Byte(first) + Byte(last) + '\0') + data;
}

// The frame header of a grey JPEG of the frame type `sof`, declaring width x height.
std::string GreyFrame(char sof, uint32_t width, uint32_t height) {
  return Segment(
      sof, '\x08' + BigEndian(height, 2) + BigEndian(width, 2) + std::string("\1\1\x11\0", 4));
}

// A grey JPEG file of the frame type `sof`, declaring width x height, with `scans`.
std::string GreyJpeg(char sof, uint32_t width, uint32_t height, const std::string& scans) {
  return "\xFF\xD8" + kJpegTables + GreyFrame(sof, width, height) + scans + "\xFF\xD9";
}

// A small real JPEG picture with an APP1 block holding `block` right after its start marker.
std::string JpegWithApp1(const std::string& block) {
  const std::string jpeg = Written(Kind::kRgb24, 16, 16, ".jpg");
  return jpeg.substr(0, 2) + Segment('\xE1', block) + jpeg.substr(2);
}

// EXIF whose TIFF structure is little-endian and starts its first directory at 8, where
// `rest` begins.
std::string JpegWithExif(const std::string& rest) {
  return JpegWithApp1(std::string("Exif\0\0II*\0", 10) + LittleEndian(8, 4) + rest);
}

// A directory entry, little-endian: tag, type, count, then the value or its offset.
std::string Entry(uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
  return LittleEndian(tag, 2) + LittleEndian(type, 2) + LittleEndian(count, 4) +
         LittleEndian(value, 4);
}

enum : uint32_t { kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };
enum : uint32_t {
  kImageWidth = 0x0100,
  kDescription = 0x010E,
  kMake = 0x010F,
  kMinSample = 0x0118,
  kExifLink = 0x8769,
  kGpsLink = 0x8825,
  kPixelXDimension = 0xA002,
  kInteropLink = 0xA005,
  kWhitePoint = 0x013E,
};

// --- PNG ---

std::string PngChunk(const std::string& type, const std::string& data) {
  const std::string body = type + data;
  const auto crc =
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return BigEndian(static_cast<uint32_t>(data.size()), 4) + body +
         BigEndian(static_cast<uint32_t>(crc), 4);
}

std::string Ihdr(uint32_t width, uint32_t height, unsigned depth, unsigned colourType) {
  return BigEndian(width, 4) + BigEndian(height, 4) + Byte(depth) + Byte(colourType) +
         std::string(3, '\0');
}

const char kPngSignature[] = "\x89PNG\r\n\x1A\n";

std::string Png(const std::string& ihdr, const std::string& idat) {
  return kPngSignature + PngChunk("IHDR", ihdr) + PngChunk("IDAT", idat) + PngChunk("IEND", "");
}

// `bytes` zero bytes, deflated as tightly as zlib can, without holding them all at once.
std::string DeflatedZeros(uint64_t bytes) {
  z_stream stream = {};
  deflateInit(&stream, 9);
  const std::string zeros(1 << 20, '\0');
  std::string out;
  char buffer[1 << 16];
  uint64_t left = bytes;
  int flush = Z_NO_FLUSH;
  do {
    const uint64_t take = left < zeros.size() ? left : zeros.size();
    left -= take;
    flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    stream.avail_in = static_cast<uInt>(take);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      deflate(&stream, flush);
      out.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&stream);
  return out;
}

// --- BMP ---

enum : uint32_t { kRle8 = 1, kRle4 = 2 };

// A BMP file with a 40-byte info header; sizes as stored, so negative ones come as 2^32 - n.
std::string Bmp(uint32_t width, uint32_t height, uint32_t bits, uint32_t compression,
                const std::string& palette, const std::string& data) {
  return BmpWithPixelsAfter(
      LittleEndian(40, 4) + LittleEndian(width, 4) + LittleEndian(height, 4) + LittleEndian(1, 2) +
          LittleEndian(bits, 2) + LittleEndian(compression, 4) +
          LittleEndian(static_cast<uint32_t>(data.size()), 4) + LittleEndian(2835, 4) +
          LittleEndian(2835, 4) + LittleEndian(static_cast<uint32_t>(palette.size() / 4), 4) +
          LittleEndian(0, 4) + palette,
      data);
}

uint32_t Negative(uint32_t n) {
  return ~n + 1;
}

const std::string kGreys16(16 * 4, '\x40');
const std::string kGreys256(256 * 4, '\x80');

// Top-down rows of 24-bit pixels, each padded to 4 bytes.
std::string Rows24(unsigned width, unsigned height) {
  std::string rows;
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      rows += Byte(x * 7) + Byte(y * 11) + Byte(x ^ y);
    }
    rows.append((4 - width * 3 % 4) % 4, '\0');
  }
  return rows;
}

}  // namespace

std::vector<HostileFile> MakeHostileFiles() {
  std::vector<HostileFile> files;
  auto add = [&files](const std::string& name, const std::string& bytes) {
    files.push_back({name, bytes});
  };

  // Real pictures cut short: in the header, in the palette, after the first rows, halfway,
  // one byte before the end.
  const std::string bmp = Written(Kind::kRgb24, 40, 30, ".bmp");
  const std::string grey = Written(Kind::kGrey8, 40, 30, ".bmp");
  const size_t bmpPixels = bmp.size() - 40 * 3 * 30;
  add("bmp-cut-in-file-header.bmp", bmp.substr(0, 10));
  add("bmp-cut-in-info-header.bmp", bmp.substr(0, 30));
  add("bmp-cut-before-pixels.bmp", bmp.substr(0, bmpPixels));
  add("bmp-cut-in-palette.bmp", grey.substr(0, 54 + 500));
  add("bmp-cut-after-first-rows.bmp", bmp.substr(0, bmpPixels + 2 * 120));
  add("bmp-cut-halfway.bmp", bmp.substr(0, bmp.size() / 2));
  add("bmp-cut-last-byte.bmp", bmp.substr(0, bmp.size() - 1));

  const std::string jpeg = Written(Kind::kRgb24, 40, 30, ".jpg", 90);
  const size_t scan = Find(jpeg, "\xFF\xDA");
  const size_t scanData = scan + 2 + static_cast<unsigned char>(jpeg[scan + 3]);
  add("jpeg-cut-after-start.jpg", jpeg.substr(0, 2));
  add("jpeg-cut-in-app0.jpg", jpeg.substr(0, 12));
  add("jpeg-cut-in-tables.jpg", jpeg.substr(0, Find(jpeg, "\xFF\xDB") + 30));
  add("jpeg-cut-in-frame.jpg", jpeg.substr(0, Find(jpeg, "\xFF\xC0") + 8));
  add("jpeg-cut-after-scan-header.jpg", jpeg.substr(0, scanData));
  add("jpeg-cut-halfway.jpg", jpeg.substr(0, (scanData + jpeg.size()) / 2));
  add("jpeg-cut-last-byte.jpg", jpeg.substr(0, jpeg.size() - 1));

  const std::string png = Written(Kind::kRgb24, 40, 30, ".png");
  const size_t idat = Find(png, "IDAT") - 4;
  add("png-cut-in-signature.png", png.substr(0, 4));
  add("png-cut-after-signature.png", png.substr(0, 8));
  add("png-cut-in-header.png", png.substr(0, 20));
  add("png-cut-before-pixels.png", png.substr(0, idat));
  add("png-cut-halfway.png", png.substr(0, (idat + png.size()) / 2));
  add("png-cut-before-end-chunk.png", png.substr(0, png.size() - 12));
  add("png-cut-last-byte.png", png.substr(0, png.size() - 1));

  // The wrong magic, or none.
  add("empty.jpg", "");
  add("empty.png", "");
  add("empty.bmp", "");
  add("jpeg-named-png.png", jpeg);
  add("png-named-bmp.bmp", png);
  add("bmp-named-jpeg.jpeg", bmp);
  add("bmp-magic-swapped.bmp", "MB" + bmp.substr(2));
  add("png-signature-damaged.png", "\x88" + png.substr(1));
  add("jpeg-without-start.jpg", jpeg.substr(2));
  add("png-header-crc-wrong.png", png.substr(0, 29) + "\0\0\0\0" + png.substr(33));

  // Absurd declared sizes.
  const std::string baseline = GreyScan(0, 63, "\x12\x34");
  add("jpeg-width-0.jpg", GreyJpeg('\xC0', 0, 30, baseline));
  add("jpeg-height-0.jpg", GreyJpeg('\xC0', 40, 0, baseline));
  add("jpeg-1x65535.jpg", GreyJpeg('\xC0', 1, 65535, baseline));
  add("jpeg-65535x65535.jpg", GreyJpeg('\xC0', 65535, 65535, baseline));
  add("jpeg-progressive-65535x1.jpg", GreyJpeg('\xC2', 65535, 1, GreyScan(0, 0, "\x12")));
  // The decoder takes a marker it does not know as having no segment, so a length after it
  // hides nothing from it: the large frame inside counts, not the small one behind.
  const std::string hidden = GreyFrame('\xC0', 65500, 65500) + baseline;
  // An application segment of length 0 holds nothing; the decoder reads on right behind it.
  add("jpeg-65500x65500-after-empty-app0.jpg",
      GreyJpeg('\xC0', 65500, 65500, baseline).insert(2, std::string("\xFF\xE0\0\0", 4)));
  add("jpeg-frame-inside-unknown-marker.jpg",
      GreyJpeg('\xC0', 40, 30, baseline)
          .insert(2 + kJpegTables.size(),
                  "\xFF\x1C" + BigEndian(static_cast<uint32_t>(hidden.size() + 2), 2) + hidden));
  // Arithmetic coding: 40000 x 20000 pixels in 406 bytes, and in a progressive scan cut short.
  add("jpeg-arithmetic-40000x20000.jpg",
      GreyJpeg('\xC9', 40000, 20000, GreyScan(0, 63, std::string(266, '\x55'))));
  const std::string progressive = GreyJpeg('\xCA', 40000, 20000, GreyScan(0, 0, "\x12\x34"));
  add("jpeg-arithmetic-scan-cut.jpg", progressive.substr(0, progressive.size() - 3));

  const std::string oneRow = DeflatedZeros(5);
  add("png-width-0.png", Png(Ihdr(0, 1, 8, 2), oneRow));
  add("png-height-0.png", Png(Ihdr(1, 0, 8, 2), oneRow));
  add("png-1x2147483647.png", Png(Ihdr(1, 0x7FFFFFFF, 8, 2), oneRow));
  add("png-2147483647x1.png", Png(Ihdr(0x7FFFFFFF, 1, 8, 2), oneRow));
  add("png-1x1000000.png", Png(Ihdr(1, 1000000, 8, 2), oneRow));
  add("png-65535x65535.png", Png(Ihdr(65535, 65535, 16, 6), oneRow));
  // libpng passes over an unknown ancillary chunk before the header.
  add("png-60000x60000-after-unknown-chunk.png",
      Png(Ihdr(60000, 60000, 8, 6), oneRow).insert(8, PngChunk("koko", "kokokokokokok")));
  add("png-bit-depth-3.png", Png(Ihdr(1, 1, 3, 0), oneRow));
  // A chunk that runs past the end of the file: libpng allocates the 2 GB it declares.
  for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT"}) {
    add(std::string("png-") + type + "-past-end.png",
        kPngSignature + PngChunk("IHDR", Ihdr(1, 1, 8, 0)) + BigEndian(0x7FFFFFFF, 4) + type +
            "key" + std::string(44, '\0'));
  }
  // Keywords the writer refuses (none, or blanks and control characters only) beside good ones;
  // the text after the pixels keeps the rows from being used before the whole picture is read.
  add("png-text-keywords-unwritable.png",
      png.substr(0, 33) + PngChunk("tEXt", std::string("\0empty", 6)) +
          PngChunk("tEXt", std::string(" \x01\0blank", 9)) +
          PngChunk("tEXt", std::string("Kept\0yes", 8)) + png.substr(33, png.size() - 45) +
          PngChunk("tEXt", std::string("\0late", 5)) + png.substr(png.size() - 12));

  const std::string pixel(4, '\x7F');
  add("bmp-width-0.bmp", Bmp(0, 30, 24, 0, "", pixel));
  add("bmp-height-0.bmp", Bmp(40, 0, 24, 0, "", pixel));
  add("bmp-1x2147483647.bmp", Bmp(1, 0x7FFFFFFF, 24, 0, "", pixel));
  add("bmp-65535x65535.bmp", Bmp(65535, 65535, 24, 0, "", pixel));
  add("bmp-1073741824x4.bmp", Bmp(0x40000000, 4, 32, 0, "", pixel));
  add("bmp-top-down.bmp", Bmp(40, Negative(30), 24, 0, "", Rows24(40, 30)));
  add("bmp-height-minus-2147483648.bmp", Bmp(1, 0x80000000, 24, 0, "", pixel));
  add("bmp-width-minus-40.bmp", Bmp(Negative(40), 30, 24, 0, "", Rows24(40, 30)));
  add("bmp-bits-0.bmp", Bmp(40, 30, 0, 0, "", Rows24(40, 30)));
  add("bmp-palette-4-billion.bmp",
      BmpWithPixelsAfter(LittleEndian(40, 4) + LittleEndian(4, 4) + LittleEndian(4, 4) +
                             LittleEndian(1, 2) + LittleEndian(8, 2) + std::string(16, '\0') +
                             LittleEndian(0xFFFFFFFF, 4) + LittleEndian(0, 4),
                         std::string(16, '\1')));

  // RLE: sizes whose product wraps in 32 bits, runs and moves that leave the picture, codes
  // cut off by the end of the file.
  add("bmp-rle8-size-wraps.bmp",
      Bmp(65536, 65537, 8, kRle8, kGreys256, std::string("\4\1\0\1", 4)));
  add("bmp-rle4-width-minus-1.bmp",
      Bmp(0xFFFFFFFF, 2, 4, kRle4, kGreys16, std::string("\4\x12\0\1", 4)));
  add("bmp-rle8-run-past-line.bmp",
      Bmp(8, 2, 8, kRle8, kGreys256, std::string("\xFF\x01\xFF\x02\0\1", 6)));
  add("bmp-rle8-move-outside.bmp",
      Bmp(8, 2, 8, kRle8, kGreys256, std::string("\0\2\xC8\xC8\4\3\0\1", 8)));
  add("bmp-rle8-literal-past-file.bmp",
      Bmp(8, 2, 8, kRle8, kGreys256, std::string("\0\xFF\1\2", 4)));
  add("bmp-rle4-literal-past-line.bmp",
      Bmp(7, 3, 4, kRle4, kGreys16, std::string("\0\xFF", 2) + std::string(128, '\x12') + "\0\1"));
  add("bmp-rle8-top-down.bmp",
      Bmp(8, Negative(2), 8, kRle8, kGreys256, std::string("\x08\1\0\0\x08\2\0\1", 8)));
  add("bmp-rle8-no-end.bmp", Bmp(8, 2, 8, kRle8, kGreys256, std::string("\x08\1", 2)));

  // EXIF: directories that lead back to themselves, counts and offsets outside the block.
  add("exif-first-directory-loops.jpg",
      JpegWithExif(LittleEndian(1, 2) + Entry(kMake, kAscii, 4, 0x6241) + LittleEndian(8, 4)));
  add("exif-link-to-first.jpg",
      JpegWithExif(LittleEndian(1, 2) + Entry(kExifLink, kLong, 1, 8) + LittleEndian(0, 4)));
  add("exif-interop-loops.jpg",
      JpegWithExif(LittleEndian(1, 2) + Entry(kExifLink, kLong, 1, 26) + LittleEndian(0, 4) +
                   LittleEndian(1, 2) + Entry(kInteropLink, kLong, 1, 26) + LittleEndian(0, 4)));
  add("exif-exif-links-itself.jpg",
      JpegWithExif(LittleEndian(1, 2) + Entry(kExifLink, kLong, 1, 26) + LittleEndian(0, 4) +
                   LittleEndian(1, 2) + Entry(kExifLink, kLong, 1, 26) + LittleEndian(26, 4)));
  add("exif-big-endian-loop.jpg",
      JpegWithApp1(std::string("Exif\0\0MM\0*", 10) + BigEndian(8, 4) + BigEndian(1, 2) +
                   BigEndian(kExifLink, 2) + BigEndian(kLong, 2) + BigEndian(1, 4) +
                   BigEndian(8, 4) + BigEndian(8, 4)));
  add("exif-count-huge.jpg",
      JpegWithExif(LittleEndian(1, 2) + Entry(kDescription, kAscii, 0xFFFFFFFF, 26) +
                   LittleEndian(0, 4) + "text"));
  add("exif-count-wraps.jpg",
      JpegWithExif(LittleEndian(2, 2) + Entry(kMinSample, kShort, 0x80000001, 38) +
                   Entry(kWhitePoint, kRational, 0x20000001, 38) + LittleEndian(0, 4) +
                   std::string(16, '\1')));
  add("exif-offset-wraps.jpg",
      JpegWithExif(LittleEndian(1, 2) + Entry(kDescription, kAscii, 16, 0xFFFFFFF8) +
                   LittleEndian(0, 4)));
  add("exif-first-directory-far.jpg",
      JpegWithApp1(std::string("Exif\0\0II*\0", 10) + LittleEndian(0xFFFFFFFF, 4)));
  add("exif-gps-link-far.jpg",
      JpegWithExif(LittleEndian(1, 2) + Entry(kGpsLink, kLong, 1, 0x7FFFFFF0) +
                   LittleEndian(0, 4)));
  add("exif-65535-entries.jpg", JpegWithExif(LittleEndian(0xFFFF, 2) + std::string(120, '\x01')));
  add("exif-sizes-of-odd-types.jpg",
      JpegWithExif(LittleEndian(2, 2) + Entry(kImageWidth, kAscii, 1000, 0xFFFFFF00) +
                   Entry(kExifLink, kLong, 1, 38) + LittleEndian(0, 4) + LittleEndian(1, 2) +
                   Entry(kPixelXDimension, kRational, 0xFFFFFFFF, 0xFFFFFFFF) +
                   LittleEndian(0, 4)));
  {
    // 4000 entries that all point at the same 60000 bytes: copied one by one, far more than a
    // block can hold.
    std::string directory = LittleEndian(4000, 2);
    for (uint32_t i = 0; i < 4000; ++i) {
      directory += Entry(0x9000 + i, kAscii, 15000, 8);
    }
    add("exif-values-shared.jpg",
        JpegWithExif(directory + LittleEndian(0, 4) + std::string(60000 - directory.size(), 'v')));
  }

  // Deflate streams: one that unpacks to 200 MB for a picture of 16 x 16, and one for a
  // picture of 4000 x 3000 whose rows are all zeros, as tightly packed as zlib packs them.
  add("png-zlib-bomb.png", Png(Ihdr(16, 16, 8, 2), DeflatedZeros(200u << 20)));
  add("png-zeros-4000x3000.png", Png(Ihdr(4000, 3000, 8, 2), DeflatedZeros(3000 * 12001)));

  // Progressive JPEGs of many empty scans: each one walks all the coefficients again, so 20000
  // of them over a large picture keep the decoder busy; 1000 scans are still read.
  for (int count : {1000, 1001, 20000}) {
    const uint32_t side = count == 20000 ? 2048 : 64;
    std::string scans = GreyScan(0, 0, std::string(side * side / 64 / 8, '\0'));
    for (int i = 1; i < count; ++i) {
      scans += GreyScan(1, 63, "");
    }
    add("jpeg-" + std::to_string(count) + "-scans.jpg", GreyJpeg('\xC2', side, side, scans));
  }
  // The same scans behind an unknown marker, which hides them from a reader that skips its
  // length, but not from the decoder.
  std::string more;
  for (int i = 1; i < 1001; ++i) {
    more += GreyScan(1, 63, "");
  }
  add("jpeg-1001-scans-inside-unknown-marker.jpg",
      GreyJpeg('\xC2', 64, 64,
               GreyScan(0, 0, std::string(64, '\0')) + "\xFF\x1C" +
                   BigEndian(static_cast<uint32_t>(more.size() + 2), 2) + more));
  return files;
}

}  // namespace testing_support
