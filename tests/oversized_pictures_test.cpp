// Files that declare pictures larger than they could hold, or larger than the memory there is,
// are refused from their headers alone, before the library allocates what they declare.
#include <sys/resource.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cutter/pictures/picture_formats.h"
#include "cutter/pictures/picture_limits.h"
#include "support/crafted_bytes.h"
#include "support/e2e_helpers.h"
#include "support/run_program.h"

namespace testing_support {
namespace {

// A quantisation table of ones, and a DC table with one code of 1 bit, for the value 0.
const std::string kTables = OnesQuantisation() + OneCodeHuffman(0);

// A JPEG file: `tables`, a frame of one of the SOF types with `components`, a scan of the first
// `inScan` components over the DC coefficient, then `data` as the coded data.
std::string Jpeg(char sof, uint32_t width, uint32_t height, const std::string& components,
                 unsigned inScan, const std::string& data, const std::string& tables = "") {
  return "\xFF\xD8" + tables + JpegFrame(sof, width, height, components) +
         JpegScan(components, inScan, 0, 0) + data + "\xFF\xD9";
}

const std::string kOneZeroDeflated("\x78\x9C\x63\0\0\0\1\0\1", 9);
const std::string kFiller(43, 'x');  // makes a 100-byte PNG

// A BMP file whose info header leaves the resolution and the length of `palette` at 0.
std::string BareBmp(uint32_t width, uint32_t height, uint32_t bits, uint32_t compression,
                    const std::string& palette, const std::string& data) {
  const auto size = static_cast<uint32_t>(data.size());
  return BmpWithPixelsAfter(BmpInfoHeader(width, height, bits, compression, size, 0, 0) + palette,
                            data);
}
const std::string kGreys(1024, '\x7F');

// Runs the program with its address space capped at `bytes`.
RunResult RunCapped(const TempDir& dir, const std::vector<std::string>& args, rlim_t bytes) {
  rlimit saved = {};
  getrlimit(RLIMIT_AS, &saved);
  const rlimit cap = {bytes < saved.rlim_cur ? bytes : saved.rlim_cur, saved.rlim_max};
  setrlimit(RLIMIT_AS, &cap);
  RunResult r = RunIn(dir, args);
  setrlimit(RLIMIT_AS, &saved);
  return r;
}

struct OversizedCase {
  const char* name;  // the file's name; its extension picks the reader
  std::string (*make)();
  unsigned width, height;  // declared; 0 x 0: the picture is not refused but cut
  rlim_t addressSpace = RLIM_INFINITY;
};

const OversizedCase kOversized[] = {
    {"progressive.jpg",
     [] { return Jpeg('\xC2', 65500, 65500, kYCbCr420Components, 3, "\x12\x34", kTables); }, 65500,
     65500},
    {"tall.bmp", [] { return BareBmp(1, 2000000000, 24, 0, "", std::string(64, '\0')); }, 1,
     2000000000},
    {"square.png", [] { return PngFile(Ihdr(60000, 60000, 8, 2), kOneZeroDeflated); }, 60000,
     60000},
    // 256 MB of pixels fit the file's runs, not an address space of 200 MB.
    {"rle-past-memory.bmp",
     [] { return BareBmp(16384, 16384, 8, 1, kGreys, std::string(2105480, '\xFF') + '\0'); }, 16384,
     16384, 200 << 20},
    // Just above kCheapDecodeBytes (67 MB of 24 bits) with none of its pixels: far too short.
    {"67mb-far-too-short.bmp", [] { return BareBmp(4736, 4736, 24, 0, "", std::string(64, '\0')); },
     4736, 4736},
    // 67 MB of RLE in 17 KB: every row ends at once, with an end-of-line code. No encoder
    // writes that; a run holds 255 pixels at most.
    {"rows-end-early.bmp",
     [] {
       return BareBmp(8192, 8200, 8, 1, kGreys,
                      std::string(2 * 8200, '\0') + std::string("\0\1", 2));
     },
     8192, 8200},
    {"normal-progressive.jpg",
     [] { return PictureBytes(Kind::kRgb24, 300, 200, ".jpg", JPEG_PROGRESSIVE | 90); }, 0, 0,
     200 << 20},
    {"normal-rle.bmp", [] { return PictureBytes(Kind::kGrey8, 300, 200, ".bmp", BMP_SAVE_RLE); }, 0,
     0},
    {"normal-interlaced.png",
     [] { return PictureBytes(Kind::kRgba32, 300, 200, ".png", PNG_INTERLACED); }, 0, 0},
};

TEST(OversizedPicturesE2ETest, AreRefusedFromTheirHeadersAlone) {
  std::string leftOut;
  for (const OversizedCase& c : kOversized) {
    // AddressSanitizer reserves terabytes for its shadow memory at start-up, so a program whose
    // address space is capped cannot even start under it.
    if (DOLVANE_SANITIZED && c.addressSpace != RLIM_INFINITY) {
      leftOut += std::string(" ") + c.name;
      continue;
    }
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir / c.name, c.make());
    const RunResult r = RunCapped(dir, {"-g", "2", "2", c.name}, c.addressSpace);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.out, "");
    if (c.width == 0) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_EQ(ListDir(dir.path()).size(), 5u);
    } else {
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(r.err,
                WarningBox(std::string("Input file: ") + c.name + " - picture too large (" +
                           std::to_string(c.width) + " x " + std::to_string(c.height) + ")"));
      EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{c.name});
    }
  }
  if (!leftOut.empty()) {
    GTEST_SKIP() << "under the sanitizers, cases with a capped address space are not run:"
                 << leftOut;
  }
}

// What DemandOf reads from a file of these bytes.
PictureDemand DemandOfBytes(const std::string& name, const std::string& bytes) {
  TempDir dir;
  WriteBytes(dir / name, bytes);
  return DemandOf(FormatForName(name.c_str()), (dir / name).c_str());
}

std::string PaddedJpeg(char sof, uint32_t width, uint32_t height, size_t size) {
  const std::string bare = Jpeg(sof, width, height, kGreyComponent, 1, "");
  return Jpeg(sof, width, height, kGreyComponent, 1, std::string(size - bare.size(), '\x55'));
}

// The widest picture of its kind (the tallest for RLE) a file of its size can hold: a byte holds
// at most 8 Huffman blocks, 1024 arithmetic ones, 1032 bytes of PNG rows; a BMP holds at least
// half of its rows, an RLE one 2 bytes for every run of up to 255 pixels.
const struct {
  const char* name;
  std::string (*make)(uint32_t size);
  uint32_t widest;
} kEdges[] = {
    // 200 bytes: a row of 1600 blocks, or 128 rows of them.
    {"huffman.jpg", [](uint32_t w) { return PaddedJpeg('\xC2', w, 8, 200); }, 12800},
    {"arithmetic.jpg", [](uint32_t w) { return PaddedJpeg('\xCA', w, 1024, 200); }, 12800},
    // 100 bytes. A row is a filter byte and its pixels; Adam7 spreads it over four passes.
    {"rows.png", [](uint32_t w) { return PngFile(Ihdr(w, 1, 8, 0), kFiller); }, 1032 * 100 - 1},
    {"adam7.png", [](uint32_t w) { return PngFile(Ihdr(w, 1, 8, 0, true), kFiller); },
     1032 * 100 - 4},
    // 40 bytes: 10 rows of two runs.
    {"rle.bmp", [](uint32_t h) { return BareBmp(510, h, 8, 1, kGreys, std::string(40, '\0')); },
     10},
    // 318 bytes: 5 rows of 60 bytes (20 pixels), not of 64.
    {"rows.bmp", [](uint32_t w) { return BareBmp(w, 10, 24, 0, "", std::string(318, 'x')); }, 20},
};

TEST(PictureDemandTest, FilesHoldTheWidestPictureAndNoWider) {
  for (const auto& c : kEdges) {
    SCOPED_TRACE(c.name);
    for (uint32_t width : {c.widest, c.widest + 1}) {
      const std::string bytes = c.make(width);
      const PictureDemand demand = DemandOfBytes(c.name, bytes);
      ASSERT_TRUE(demand.known);
      EXPECT_EQ(demand.leastFileBytes <= bytes.size(), width == c.widest) << width;
    }
  }
}

TEST(PictureDemandTest, SeveralScansKeepEveryCoefficient) {
  auto decode = [](char sof, unsigned inScan) {
    return DemandOfBytes("a.jpg",
                         Jpeg(sof, 100, 100, kYCbCr420Components, inScan, std::string(64, 'x')))
        .decodeBytes;
  };
  // 100 x 100 at 24 bits, then 128 bytes a block: 13 x 13 luma blocks padded to the 2 x 2
  // sampling unit, 14 x 14, and 7 x 7 for each chroma component.
  const uint64_t bitmap = 30000;
  const uint64_t coefficients = 128 * (14 * 14 + 2 * 7 * 7);
  EXPECT_EQ(decode('\xC0', 3), bitmap);
  EXPECT_EQ(decode('\xC0', 1), bitmap + coefficients);  // the first scan holds luma only
  EXPECT_EQ(decode('\xC2', 3), bitmap + coefficients);
}

}  // namespace
}  // namespace testing_support
