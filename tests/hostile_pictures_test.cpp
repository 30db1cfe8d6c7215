// Hostile picture files cut for real by build/dolvane: each one is either cut or refused with
// one of the program's messages, quickly, within a sane amount of memory, never by a signal.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/e2e_helpers.h"
#include "support/hostile_pictures.h"
#include "support/run_program.h"

namespace testing_support {
namespace {

enum class Outcome {
  kCut,           // read and cut
  kRefused,       // "Couldn't open input file: NAME"
  kTooLarge,      // "Input file: NAME - picture too large (W x H)", W x H in `declared`
  kCutOrRefused,  // the damage may be read past or refused; either is right
};

struct HostileCase {
  const char* name;
  Outcome outcome;
  const char* declared = "";  // the size a refusal as too large names
  bool twoPiece = false;      // also cut in two with -w 50%
};

const HostileCase kHostile[] = {
    // Pixels missing from a BMP: a short 24-bit one is read as far as it goes, an 8-bit one not.
    {"bmp-cut-in-file-header.bmp", Outcome::kRefused},
    {"bmp-cut-in-info-header.bmp", Outcome::kRefused},
    {"bmp-cut-before-pixels.bmp", Outcome::kCut},
    {"bmp-cut-in-palette.bmp", Outcome::kRefused},
    {"bmp-cut-after-first-rows.bmp", Outcome::kCut, "", true},
    {"bmp-cut-halfway.bmp", Outcome::kCut},
    {"bmp-cut-last-byte.bmp", Outcome::kCut},
    // A JPEG cut inside its scan is decoded as far as it goes; before it, nothing is there.
    {"jpeg-cut-after-start.jpg", Outcome::kRefused},
    {"jpeg-cut-in-app0.jpg", Outcome::kRefused},
    {"jpeg-cut-in-tables.jpg", Outcome::kRefused},
    {"jpeg-cut-in-frame.jpg", Outcome::kRefused, "", true},
    {"jpeg-cut-after-scan-header.jpg", Outcome::kCut},
    {"jpeg-cut-halfway.jpg", Outcome::kCut, "", true},
    {"jpeg-cut-last-byte.jpg", Outcome::kCut},
    // PNG's reader stops at the first missing byte, the end chunk's included.
    {"png-cut-in-signature.png", Outcome::kRefused},
    {"png-cut-after-signature.png", Outcome::kRefused},
    {"png-cut-in-header.png", Outcome::kRefused},
    {"png-cut-before-pixels.png", Outcome::kRefused},
    {"png-cut-halfway.png", Outcome::kRefused, "", true},
    {"png-cut-before-end-chunk.png", Outcome::kRefused},
    {"png-cut-last-byte.png", Outcome::kRefused},
    {"empty.jpg", Outcome::kRefused},
    {"empty.png", Outcome::kRefused},
    {"empty.bmp", Outcome::kRefused},
    {"jpeg-named-png.png", Outcome::kRefused},
    {"png-named-bmp.bmp", Outcome::kRefused},
    {"bmp-named-jpeg.jpeg", Outcome::kRefused, "", true},
    {"bmp-magic-swapped.bmp", Outcome::kCutOrRefused},
    {"png-signature-damaged.png", Outcome::kRefused},
    {"jpeg-without-start.jpg", Outcome::kRefused},
    {"png-header-crc-wrong.png", Outcome::kRefused},
    {"jpeg-width-0.jpg", Outcome::kRefused},
    {"jpeg-height-0.jpg", Outcome::kRefused},
    {"jpeg-1x65535.jpg", Outcome::kRefused},  // small enough to be tried, and found empty
    {"jpeg-65535x65535.jpg", Outcome::kTooLarge, "65535 x 65535", true},
    {"jpeg-progressive-65535x1.jpg", Outcome::kRefused},  // the same
    {"jpeg-65500x65500-after-empty-app0.jpg", Outcome::kTooLarge, "65500 x 65500"},
    {"jpeg-frame-inside-unknown-marker.jpg", Outcome::kTooLarge, "65500 x 65500"},
    {"jpeg-arithmetic-40000x20000.jpg", Outcome::kTooLarge, "40000 x 20000"},
    {"jpeg-arithmetic-scan-cut.jpg", Outcome::kTooLarge, "40000 x 20000"},
    // PNG's reader itself refuses a size of 0 or beyond a million rows or columns.
    {"png-width-0.png", Outcome::kRefused},
    {"png-height-0.png", Outcome::kRefused},
    {"png-1x2147483647.png", Outcome::kRefused},
    {"png-2147483647x1.png", Outcome::kRefused},
    {"png-1x1000000.png", Outcome::kRefused},  // small enough to be tried, and found empty
    {"png-65535x65535.png", Outcome::kTooLarge, "65535 x 65535"},
    {"png-60000x60000-after-unknown-chunk.png", Outcome::kTooLarge, "60000 x 60000"},
    {"png-bit-depth-3.png", Outcome::kRefused},
    {"png-tEXt-past-end.png", Outcome::kRefused},
    {"png-zTXt-past-end.png", Outcome::kRefused},
    {"png-iTXt-past-end.png", Outcome::kRefused},
    {"png-sPLT-past-end.png", Outcome::kRefused},
    {"png-text-keywords-unwritable.png", Outcome::kCut, "", true},
    {"png-tEXt-empty-keyword-alone.png", Outcome::kCut, "", true},
    {"png-zTXt-empty-keyword-alone.png", Outcome::kCut, "", true},
    {"png-iTXt-empty-keyword-alone.png", Outcome::kCut, "", true},
    {"png-tEXt-blank-keyword-beside-another.png", Outcome::kCut, "", true},
    {"png-zTXt-blank-keyword-beside-another.png", Outcome::kCut, "", true},
    {"png-iTXt-blank-keyword-beside-another.png", Outcome::kCut, "", true},
    {"bmp-width-0.bmp", Outcome::kRefused},
    {"bmp-height-0.bmp", Outcome::kRefused},
    {"bmp-1x2147483647.bmp", Outcome::kTooLarge, "1 x 2147483647"},
    {"bmp-65535x65535.bmp", Outcome::kTooLarge, "65535 x 65535"},
    {"bmp-1073741824x4.bmp", Outcome::kTooLarge, "1073741824 x 4"},
    {"bmp-top-down.bmp", Outcome::kCut, "", true},
    {"bmp-height-minus-2147483648.bmp", Outcome::kCutOrRefused},
    {"bmp-width-minus-40.bmp", Outcome::kCutOrRefused},
    {"bmp-bits-0.bmp", Outcome::kCutOrRefused},
    {"bmp-palette-4-billion.bmp", Outcome::kCutOrRefused},
    {"bmp-rle8-size-wraps.bmp", Outcome::kTooLarge, "65536 x 65537"},
    {"bmp-rle4-width-minus-1.bmp", Outcome::kCutOrRefused},
    {"bmp-rle8-run-past-line.bmp", Outcome::kCutOrRefused},
    {"bmp-rle8-move-outside.bmp", Outcome::kCutOrRefused},
    {"bmp-rle8-literal-past-file.bmp", Outcome::kCutOrRefused},
    {"bmp-rle4-literal-past-line.bmp", Outcome::kCutOrRefused},
    {"bmp-rle8-top-down.bmp", Outcome::kCutOrRefused},
    {"bmp-rle8-no-end.bmp", Outcome::kCutOrRefused},
    // Damaged EXIF is left behind; the picture is cut.
    {"exif-first-directory-loops.jpg", Outcome::kCut, "", true},
    {"exif-link-to-first.jpg", Outcome::kCut},
    {"exif-interop-loops.jpg", Outcome::kCut},
    {"exif-exif-links-itself.jpg", Outcome::kCut},
    {"exif-big-endian-loop.jpg", Outcome::kCut, "", true},
    {"exif-count-huge.jpg", Outcome::kCut},
    {"exif-count-wraps.jpg", Outcome::kCut, "", true},
    {"exif-offset-wraps.jpg", Outcome::kCut},
    {"exif-first-directory-far.jpg", Outcome::kCut},
    {"exif-gps-link-far.jpg", Outcome::kCut},
    {"exif-65535-entries.jpg", Outcome::kCut},
    {"exif-sizes-of-odd-types.jpg", Outcome::kCut, "", true},
    {"exif-values-shared.jpg", Outcome::kCut, "", true},
    // The rows a picture needs are read, and nothing more.
    {"png-zlib-bomb.png", Outcome::kCut, "", true},
    {"png-zeros-4000x3000.png", Outcome::kCut},
    {"jpeg-1000-scans.jpg", Outcome::kCut},
    {"jpeg-1001-scans.jpg", Outcome::kRefused},
    {"jpeg-1001-scans-inside-unknown-marker.jpg", Outcome::kRefused},
    {"jpeg-20000-scans.jpg", Outcome::kRefused},
    // The crashers folder: each of these once broke a cut, on several cores or on any.
    {"bmp-rle4-192-bytes-declaring-67108925x37.bmp", Outcome::kTooLarge, "67108925 x 37", true},
    {"jpeg-app0-of-length-0.jpg", Outcome::kCut, "", true},
    {"jpeg-arithmetic-40000x20000-in-98-bytes.jpg", Outcome::kTooLarge, "40000 x 20000", true},
    {"jpeg-arithmetic-progressive-40000x20000-scan-cut.jpg", Outcome::kTooLarge, "40000 x 20000",
     true},
    {"jpeg-exif-thumbnail-1600x1200-crashed-many-cores.jpg", Outcome::kCut, "", true},
    {"jpeg-exif-thumbnail-20000x20000-in-631-bytes.jpg", Outcome::kCut, "", true},
    {"jpeg-frame-read-past-unknown-marker.jpg", Outcome::kCut, "", true},
    {"png-header-after-unknown-chunk.png", Outcome::kRefused, "", true},
    {"png-leaked-its-bitmap-on-read-error.png", Outcome::kRefused, "", true},
    {"png-tEXt-empty-keyword-crashed-every-cut.png", Outcome::kCut, "", true},
    {"png-text-chunk-of-2-gb-past-the-end.png", Outcome::kRefused, "", true},
};

const HostileCase* CaseFor(const std::string& name) {
  for (const HostileCase& c : kHostile) {
    if (name == c.name) {
      return &c;
    }
  }
  return nullptr;
}

// The output name of a two-piece cut: the input's extension, so that the piece is of its format.
std::string PieceName(const std::string& name) {
  return "piece" + name.substr(name.rfind('.'));
}

constexpr long kMostResidentKb = 2L << 20;  // 2 GB
// The sanitizers make the program several times slower, and hold much more memory besides.
constexpr double kMostSeconds = DOLVANE_SANITIZED ? 60 : 5;

// Runs `args` on `file` in a fresh directory and checks the outcome `c` allows.
void ExpectOutcome(const HostileCase& c, const HostileFile& file,
                   const std::vector<std::string>& args, size_t piecesIfCut, bool oneCore) {
  SCOPED_TRACE(DescribeArgs(args) + (oneCore ? "on one core" : ""));
  TempDir dir;
  WriteBytes(dir / file.name, file.bytes);
  const auto start = std::chrono::steady_clock::now();
  const RunResult r = RunDolvane(args, {dir.path(), -1, oneCore});
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("  %-36s %-4s exit %2d  %6.2f s  %7ld KiB\n", file.name.c_str(), args[0].c_str(),
              r.exitCode, took.count(), r.peakResidentKb);

  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_LT(took.count(), kMostSeconds);
  if (file.bytes.size() < (1u << 20)) {
    EXPECT_LT(r.peakResidentKb, kMostResidentKb);
  }
  EXPECT_EQ(ReadBytes(dir / file.name), file.bytes) << "the input was changed";

  const std::string cannotOpen = WarningBox("Couldn't open input file: " + file.name);
  const std::string tooLarge =
      WarningBox("Input file: " + file.name + " - picture too large (" + c.declared + ")");
  const bool cut = r.exitCode == 0 && r.err.empty();
  const bool refused = r.exitCode == 1 && r.err == cannotOpen;
  switch (c.outcome) {
    case Outcome::kCut:
      EXPECT_TRUE(cut) << r.exitCode << " " << r.err;
      break;
    case Outcome::kRefused:
      EXPECT_TRUE(refused) << r.exitCode << " " << r.err;
      break;
    case Outcome::kTooLarge:
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(r.err, tooLarge);
      break;
    case Outcome::kCutOrRefused:
      EXPECT_TRUE(cut || refused) << r.exitCode << " " << r.err;
      break;
  }
  const std::vector<std::string> names = ListDir(dir.path());
  if (cut) {
    EXPECT_EQ(names.size(), 1 + piecesIfCut);
    for (const std::string& name : names) {
      if (name != file.name) {
        EXPECT_TRUE(ShapeOf(dir / name).readable) << name;
      }
    }
  } else {
    EXPECT_EQ(names, std::vector<std::string>{file.name}) << "a refused file left pieces";
  }
}

TEST(HostilePicturesE2ETest, AreCutOrRefusedQuicklyWithinMemoryAndWithoutASignal) {
  std::vector<HostileFile> files = MakeHostileFiles();
  const size_t made = files.size();
  for (const auto& entry : std::filesystem::directory_iterator(DOLVANE_CRASHERS)) {
    files.push_back({entry.path().filename(), ReadBytes(entry.path())});
  }
  std::vector<std::string> names;
  for (const HostileFile& file : files) {
    SCOPED_TRACE(file.name);
    names.push_back(file.name);
    const HostileCase* c = CaseFor(file.name);
    if (c == nullptr) {
      ADD_FAILURE() << "no expectation for this file";
      continue;
    }
    for (bool oneCore : {false, true}) {
      if (oneCore && names.size() <= made) {
        break;  // only the crashers run on one core too: some broke only on several
      }
      ExpectOutcome(*c, file, {"-g", "2", "2", file.name}, 4, oneCore);
      if (c->twoPiece) {
        ExpectOutcome(*c, file, {"-w", "50%", file.name, PieceName(file.name)}, 1, oneCore);
      }
    }
  }
  std::vector<std::string> expected;
  for (const HostileCase& c : kHostile) {
    expected.push_back(c.name);
  }
  EXPECT_EQ(SortedNames(names), SortedNames(expected)) << "files and expectations differ";
}

}  // namespace
}  // namespace testing_support
