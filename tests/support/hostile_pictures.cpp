#include "support/hostile_pictures.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/crafted_bytes.h"
#include "support/e2e_helpers.h"
#include "support/pictures.h"

namespace testing_support {
namespace {

// Where `what` first stands in `bytes`; the end when it is not there.
size_t Find(const std::string& bytes, const std::string& what) {
  const size_t at = bytes.find(what);
  EXPECT_NE(at, std::string::npos) << "no " << what.size() << "-byte marker";
  return at == std::string::npos ? bytes.size() : at;
}

// --- JPEG ---

// Quantisation by ones; a DC table and an AC table of one 1-bit code each, for a difference
// of 0 and for the end of the block.
const std::string kJpegTables = OnesQuantisation() + OneCodeHuffman(0) + OneCodeHuffman(1);

// A scan of the one grey component over coefficients first..last, then its coded data.
std::string GreyScan(unsigned first, unsigned last, const std::string& data) {
  return JpegScan(kGreyComponent, 1, first, last) + data;
}

// A grey JPEG file of the frame type `sof`, declaring width x height, with `scans`.
std::string GreyJpeg(char sof, uint32_t width, uint32_t height, const std::string& scans) {
  return "\xFF\xD8" + kJpegTables + JpegFrame(sof, width, height, kGreyComponent) + scans +
         "\xFF\xD9";
}

// Tags of EXIF directory entries.
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

// --- BMP ---

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
  const std::string bmp = PictureBytes(Kind::kRgb24, 40, 30, ".bmp");
  const std::string grey = PictureBytes(Kind::kGrey8, 40, 30, ".bmp");
  const size_t bmpPixels = bmp.size() - 40 * 3 * 30;
  add("bmp-cut-in-file-header.bmp", bmp.substr(0, 10));
  add("bmp-cut-in-info-header.bmp", bmp.substr(0, 30));
  add("bmp-cut-before-pixels.bmp", bmp.substr(0, bmpPixels));
  add("bmp-cut-in-palette.bmp", grey.substr(0, 54 + 500));
  add("bmp-cut-after-first-rows.bmp", bmp.substr(0, bmpPixels + 2 * 120));
  add("bmp-cut-halfway.bmp", bmp.substr(0, bmp.size() / 2));
  add("bmp-cut-last-byte.bmp", bmp.substr(0, bmp.size() - 1));

  const std::string jpeg = PictureBytes(Kind::kRgb24, 40, 30, ".jpg", 90);
  const size_t scan = Find(jpeg, "\xFF\xDA");
  const size_t scanData = scan + 2 + static_cast<unsigned char>(jpeg[scan + 3]);
  add("jpeg-cut-after-start.jpg", jpeg.substr(0, 2));
  add("jpeg-cut-in-app0.jpg", jpeg.substr(0, 12));
  add("jpeg-cut-in-tables.jpg", jpeg.substr(0, Find(jpeg, "\xFF\xDB") + 30));
  add("jpeg-cut-in-frame.jpg", jpeg.substr(0, Find(jpeg, "\xFF\xC0") + 8));
  add("jpeg-cut-after-scan-header.jpg", jpeg.substr(0, scanData));
  add("jpeg-cut-halfway.jpg", jpeg.substr(0, (scanData + jpeg.size()) / 2));
  add("jpeg-cut-last-byte.jpg", jpeg.substr(0, jpeg.size() - 1));

  const std::string png = PictureBytes(Kind::kRgb24, 40, 30, ".png");
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
  const std::string hidden = JpegFrame('\xC0', 65500, 65500, kGreyComponent) + baseline;
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
  add("png-width-0.png", PngFile(Ihdr(0, 1, 8, 2), oneRow));
  add("png-height-0.png", PngFile(Ihdr(1, 0, 8, 2), oneRow));
  add("png-1x2147483647.png", PngFile(Ihdr(1, 0x7FFFFFFF, 8, 2), oneRow));
  add("png-2147483647x1.png", PngFile(Ihdr(0x7FFFFFFF, 1, 8, 2), oneRow));
  add("png-1x1000000.png", PngFile(Ihdr(1, 1000000, 8, 2), oneRow));
  add("png-65535x65535.png", PngFile(Ihdr(65535, 65535, 16, 6), oneRow));
  // libpng passes over an unknown ancillary chunk before the header.
  add("png-60000x60000-after-unknown-chunk.png",
      PngFile(Ihdr(60000, 60000, 8, 6), oneRow).insert(8, PngChunk("koko", "kokokokokokok")));
  add("png-bit-depth-3.png", PngFile(Ihdr(1, 1, 3, 0), oneRow));
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
  // An empty keyword as the only text, and one of blanks beside a good one, in every kind of
  // text chunk; the reader may drop the compressed ones itself.
  const std::string zipped = DeflatedZeros(4);
  for (const auto& [type, body] : {std::pair{"tEXt", std::string("\0text", 5)},
                                   std::pair{"zTXt", std::string("\0\0", 2) + zipped},
                                   std::pair{"iTXt", std::string("\0\0\0\0\0text", 9)}}) {
    add(std::string("png-") + type + "-empty-keyword-alone.png",
        png.substr(0, 33) + PngChunk(type, body) + png.substr(33));
    add(std::string("png-") + type + "-blank-keyword-beside-another.png",
        png.substr(0, 33) + PngChunk(type, "  " + body) + PngChunk(type, "Kept" + body) +
            png.substr(33));
  }

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
      JpegWithExif(LittleEndian(1, 2) + ExifEntry(kMake, kAscii, 4, 0x6241) + LittleEndian(8, 4)));
  add("exif-link-to-first.jpg",
      JpegWithExif(LittleEndian(1, 2) + ExifEntry(kExifLink, kLong, 1, 8) + LittleEndian(0, 4)));
  add("exif-interop-loops.jpg",
      JpegWithExif(LittleEndian(1, 2) + ExifEntry(kExifLink, kLong, 1, 26) + LittleEndian(0, 4) +
                   LittleEndian(1, 2) + ExifEntry(kInteropLink, kLong, 1, 26) +
                   LittleEndian(0, 4)));
  add("exif-exif-links-itself.jpg",
      JpegWithExif(LittleEndian(1, 2) + ExifEntry(kExifLink, kLong, 1, 26) + LittleEndian(0, 4) +
                   LittleEndian(1, 2) + ExifEntry(kExifLink, kLong, 1, 26) + LittleEndian(26, 4)));
  add("exif-big-endian-loop.jpg",
      JpegWithApp1(std::string("Exif\0\0MM\0*", 10) + BigEndian(8, 4) + BigEndian(1, 2) +
                   BigEndian(kExifLink, 2) + BigEndian(kLong, 2) + BigEndian(1, 4) +
                   BigEndian(8, 4) + BigEndian(8, 4)));
  add("exif-count-huge.jpg",
      JpegWithExif(LittleEndian(1, 2) + ExifEntry(kDescription, kAscii, 0xFFFFFFFF, 26) +
                   LittleEndian(0, 4) + "text"));
  add("exif-count-wraps.jpg",
      JpegWithExif(LittleEndian(2, 2) + ExifEntry(kMinSample, kShort, 0x80000001, 38) +
                   ExifEntry(kWhitePoint, kRational, 0x20000001, 38) + LittleEndian(0, 4) +
                   std::string(16, '\1')));
  add("exif-offset-wraps.jpg",
      JpegWithExif(LittleEndian(1, 2) + ExifEntry(kDescription, kAscii, 16, 0xFFFFFFF8) +
                   LittleEndian(0, 4)));
  add("exif-first-directory-far.jpg",
      JpegWithApp1(std::string("Exif\0\0II*\0", 10) + LittleEndian(0xFFFFFFFF, 4)));
  add("exif-gps-link-far.jpg",
      JpegWithExif(LittleEndian(1, 2) + ExifEntry(kGpsLink, kLong, 1, 0x7FFFFFF0) +
                   LittleEndian(0, 4)));
  add("exif-65535-entries.jpg", JpegWithExif(LittleEndian(0xFFFF, 2) + std::string(120, '\x01')));
  add("exif-sizes-of-odd-types.jpg",
      JpegWithExif(LittleEndian(2, 2) + ExifEntry(kImageWidth, kAscii, 1000, 0xFFFFFF00) +
                   ExifEntry(kExifLink, kLong, 1, 38) + LittleEndian(0, 4) + LittleEndian(1, 2) +
                   ExifEntry(kPixelXDimension, kRational, 0xFFFFFFFF, 0xFFFFFFFF) +
                   LittleEndian(0, 4)));
  {
    // 4000 entries that all point at the same 60000 bytes: copied one by one, far more than a
    // block can hold.
    std::string directory = LittleEndian(4000, 2);
    for (uint32_t i = 0; i < 4000; ++i) {
      directory += ExifEntry(0x9000 + i, kAscii, 15000, 8);
    }
    add("exif-values-shared.jpg",
        JpegWithExif(directory + LittleEndian(0, 4) + std::string(60000 - directory.size(), 'v')));
  }

  // Deflate streams: one that unpacks to 200 MB for a picture of 16 x 16, and one for a
  // picture of 4000 x 3000 whose rows are all zeros, as tightly packed as zlib packs them.
  add("png-zlib-bomb.png", PngFile(Ihdr(16, 16, 8, 2), DeflatedZeros(200u << 20)));
  add("png-zeros-4000x3000.png", PngFile(Ihdr(4000, 3000, 8, 2), DeflatedZeros(3000 * 12001)));

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
