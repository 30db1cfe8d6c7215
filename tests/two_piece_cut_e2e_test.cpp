// The two-piece cut run for real: pictures made here, cut by build/dolvane, and every file it
// leaves behind looked at.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/e2e_helpers.h"
#include "support/pictures.h"
#include "support/run_program.h"

namespace testing_support {
namespace {

using Names = std::vector<std::string>;

bool IsJpegName(const std::string& name) {
  auto endsWith = [&](const std::string& suffix) {
    if (name.size() < suffix.size()) {
      return false;
    }
    for (size_t i = 0; i < suffix.size(); ++i) {
      char c = name[name.size() - suffix.size() + i];
      if (c >= 'A' && c <= 'Z') {
        c = static_cast<char>(c - 'A' + 'a');
      }
      if (c != suffix[i]) {
        return false;
      }
    }
    return true;
  };
  return endsWith(".jpg") || endsWith(".jpeg");
}

// A piece that must be on disk: its place in the source picture. JPEG pieces are checked for
// their size only; every other piece pixel by pixel.
struct Written {
  std::string name;
  unsigned left, top, width, height;
};

void ExpectWritten(const TempDir& dir, FIBITMAP* source, const Written& piece) {
  SCOPED_TRACE(piece.name);
  if (IsJpegName(piece.name)) {
    FileShape shape = ShapeOf(dir / piece.name);
    EXPECT_EQ(shape.format, FIF_JPEG);
    EXPECT_EQ(shape.width, piece.width);
    EXPECT_EQ(shape.height, piece.height);
  } else {
    EXPECT_TRUE(
        FileHoldsArea(dir / piece.name, source, piece.left, piece.top, piece.width, piece.height));
  }
}

// ---------------------------------------------------------------------------------------------
// How the names, the size and the skip name decide what is written.

struct CutCase {
  unsigned width, height;
  std::string input;
  Names args;
  int exitCode;
  std::string err;  // the message of the warning box, empty when none
  std::vector<Written> written;
  Names listing;  // every entry of the directory afterwards
};

TEST(TwoPieceCutE2ETest, NamesAndSizesDecideWhatIsWritten) {
  const std::string badRest = "Save: file (rest.gif) - must end in .jpg, .jpeg or .bmp";
  // clang-format off
  const CutCase cases[] = {
      // One name: the input is replaced by the first piece, nothing else is written.
      {101, 20, "a.png", {"-w", "50%", "a.png"}, 0, "", {{"a.png", 0, 0, 50, 20}}, {"a.png"}},
      {101, 20, "a.bmp", {"-w", "50%", "a.bmp"}, 0, "", {{"a.bmp", 0, 0, 50, 20}}, {"a.bmp"}},
      {20, 101, "a.png", {"-h", "50%", "a.png"}, 0, "", {{"a.png", 0, 0, 20, 50}}, {"a.png"}},
      {20, 101, "a.png", {"-h", "50%", "a.png", "top.png", "bottom.png"}, 0, "", {{"top.png", 0, 0, 20, 50}, {"bottom.png", 0, 50, 20, 51}}, {"a.png", "bottom.png", "top.png"}},
      {150, 20, "a.png", {"-w", "100", "a.png", "left.png", "rest.png"}, 0, "", {{"left.png", 0, 0, 100, 20}, {"rest.png", 100, 0, 50, 20}}, {"a.png", "left.png", "rest.png"}},
      // The skip name.
      {150, 20, "a.png", {"-w", "100", "a.png", "-", "rest.png"}, 0, "", {{"rest.png", 100, 0, 50, 20}}, {"a.png", "rest.png"}},
      {150, 20, "a.png", {"-w", "100", "a.png", "-"}, 0, "", {}, {"a.png"}},
      {150, 20, "a.png", {"-w", "100", "a.png", "-", "-"}, 0, "", {}, {"a.png"}},
      {150, 20, "a.png", {"-w", "100", "a.png", "left.png", "-"}, 0, "", {{"left.png", 0, 0, 100, 20}}, {"a.png", "left.png"}},
      {20, 50, "a.png", {"-h", "10", "a.png", "-", "rest.bmp"}, 0, "", {{"rest.bmp", 0, 10, 20, 40}}, {"a.png", "rest.bmp"}},
      // Only "-" itself is the skip name.
      {150, 20, "a.png", {"-w", "100", "a.png", "--"}, 1, "Save: file (--) - must end in .jpg, .jpeg or .bmp", {}, {"a.png"}},
      {150, 20, "a.png", {"-w", "100", "a.png", "left.png", "-x"}, 1, "Save: file (-x) - must end in .jpg, .jpeg or .bmp", {{"left.png", 0, 0, 100, 20}}, {"a.png", "left.png"}},
      // Each output's format follows its own name.
      {150, 20, "in.png", {"-w", "100", "in.png", "out.jpg", "rest.bmp"}, 0, "", {{"out.jpg", 0, 0, 100, 20}, {"rest.bmp", 100, 0, 50, 20}}, {"in.png", "out.jpg", "rest.bmp"}},
      // A refused rest name stops the cut after the first piece is written; a refused first
      // name stops it before anything is.
      {150, 20, "a.png", {"-w", "100", "a.png", "left.png", "rest.gif"}, 1, badRest, {{"left.png", 0, 0, 100, 20}}, {"a.png", "left.png"}},
      {150, 20, "a.png", {"-w", "100", "a.png", "left.gif", "rest.png"}, 1, "Save: file (left.gif) - must end in .jpg, .jpeg or .bmp", {}, {"a.png"}},
      {150, 20, "a.png", {"-w", "100", "a.png", "left.png", "png"}, 1, "Save: file (png) - must end in .jpg, .jpeg or .bmp", {{"left.png", 0, 0, 100, 20}}, {"a.png", "left.png"}},
      // The same name for both outputs: the rest is written last and remains.
      {150, 20, "a.png", {"-w", "100", "a.png", "same.png", "same.png"}, 0, "", {{"same.png", 100, 0, 50, 20}}, {"a.png", "same.png"}},
      // The rest is cut from the picture as loaded, not from the replaced input.
      {150, 20, "a.png", {"-w", "100", "a.png", "a.png", "rest.png"}, 0, "", {{"a.png", 0, 0, 100, 20}, {"rest.png", 100, 0, 50, 20}}, {"a.png", "rest.png"}},
      // 2835 dots per metre is 73 dots per inch.
      {200, 10, "a.png", {"-w", "2in", "a.png", "l.png", "r.png"}, 0, "", {{"l.png", 0, 0, 146, 10}, {"r.png", 146, 0, 54, 10}}, {"a.png", "l.png", "r.png"}},
  };
  // clang-format on
  for (const CutCase& c : cases) {
    SCOPED_TRACE(DescribeArgs(c.args));
    TempDir dir;
    Picture made = MakePicture(Kind::kRgb24, c.width, c.height, 2835);
    Picture source = Place(dir, made.get(), c.input);
    ASSERT_TRUE(source);
    const std::string inputBytes = ReadBytes(dir / c.input);

    RunResult r = RunIn(dir, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err.empty() ? "" : WarningBox(c.err));
    EXPECT_EQ(ListDir(dir.path()), SortedNames(c.listing));
    bool inputRewritten = false;
    for (const Written& piece : c.written) {
      ExpectWritten(dir, source.get(), piece);
      inputRewritten = inputRewritten || piece.name == c.input;
    }
    if (!inputRewritten) {
      EXPECT_EQ(ReadBytes(dir / c.input), inputBytes);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Physical sizes go through the resolution stored in the picture: whole dots per inch, rounded
// up from dots per metre x 0.0254, then the length times that.

struct ResolutionCase {
  unsigned dotsPerMetreX, dotsPerMetreY;
  unsigned width, height;
  Names size;      // -w or -h and the size text
  unsigned first;  // the first piece's width (-w) or height (-h)
};

TEST(TwoPieceCutE2ETest, PhysicalSizesFollowTheStoredResolution) {
  const ResolutionCase cases[] = {
      {2835, 2835, 200, 8, {"-w", "2in"}, 146},      // 73 dpi
      {2835, 2835, 200, 8, {"-w", "0.5in"}, 36},     // 36.5
      {3780, 3780, 120, 8, {"-w", "1cm"}, 38},       // 97 dpi: 38.19
      {3780, 3780, 120, 8, {"-w", "25.4mm"}, 97},    // exactly one inch
      {3780, 3780, 120, 8, {"-W", "1IN"}, 97},       // units ignore case
      {13780, 13780, 400, 4, {"-w", "1in"}, 351},    // 350.012 rounds up to 351 dpi
      {13780, 13780, 400, 4, {"-w", "1cm"}, 138},    // 138.19
      {13780, 13780, 400, 4, {"-w", "10Mm"}, 138},   // 138.19
      {13780, 13780, 400, 4, {"-w", "0.5in"}, 175},  // 175.5
      // The decimal constants are doubles: 25.4 is held a little low, 2.54 a little high, and
      // the truncation shows it.
      {2834, 2834, 100, 4, {"-w", "25.4mm"}, 72},   // 72 dpi; not 71
      {3937, 3937, 520, 2, {"-w", "12.7cm"}, 499},  // 100 dpi; not 500
      {11811, 11811, 20, 4, {"-w", "0.03in"}, 8},   // 300 dpi; not 9
      // -h measures with the vertical resolution, -w with the horizontal one.
      {2835, 13780, 10, 200, {"-h", "0.5in"}, 175},
      {2835, 13780, 100, 10, {"-w", "0.5in"}, 36},
      {13780, 2835, 10, 100, {"-h", "1in"}, 73},
      {13780, 2835, 100, 10, {"-w", "0.2in"}, 70},
      // Percentages measure the dimension being cut.
      {40, 40, 40, 101, {"-h", "50%"}, 50},
      {40, 40, 101, 40, {"-w", "50%"}, 50},
  };
  for (const ResolutionCase& c : cases) {
    SCOPED_TRACE(DescribeArgs(c.size) + std::to_string(c.dotsPerMetreX) + " x " +
                 std::to_string(c.dotsPerMetreY));
    TempDir dir;
    Picture made = MakePicture(Kind::kRgb24, c.width, c.height);
    FreeImage_SetDotsPerMeterX(made.get(), c.dotsPerMetreX);
    FreeImage_SetDotsPerMeterY(made.get(), c.dotsPerMetreY);
    Picture source = Place(dir, made.get(), "a.png");
    ASSERT_TRUE(source);
    ASSERT_EQ(FreeImage_GetDotsPerMeterX(source.get()), c.dotsPerMetreX);
    ASSERT_EQ(FreeImage_GetDotsPerMeterY(source.get()), c.dotsPerMetreY);

    Names args = c.size;
    for (const char* name : {"a.png", "l.png", "r.png"}) {
      args.push_back(name);
    }
    RunResult r = RunIn(dir, args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(ListDir(dir.path()), SortedNames({"a.png", "l.png", "r.png"}));
    if (c.size[0] == "-h" || c.size[0] == "-H") {
      ExpectWritten(dir, source.get(), {"l.png", 0, 0, c.width, c.first});
      ExpectWritten(dir, source.get(), {"r.png", 0, c.first, c.width, c.height - c.first});
    } else {
      ExpectWritten(dir, source.get(), {"l.png", 0, 0, c.first, c.height});
      ExpectWritten(dir, source.get(), {"r.png", c.first, 0, c.width - c.first, c.height});
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Inputs that are refused: by name before the file is looked at, or because the library cannot
// read them in the format their name gives.

TEST(TwoPieceCutE2ETest, RefusedInputsStopBeforeAnythingIsWritten) {
  struct Case {
    std::string input;
    std::string message;
  };
  const std::string byName = " - must end in .jpg or .jpeg";
  const Case cases[] = {
      {"jpg", "Input file: jpg" + byName},
      {"jpeg", "Input file: jpeg" + byName},
      {"a.gif", "Input file: a.gif" + byName},
      {"a.jpg.txt", "Input file: a.jpg.txt" + byName},
      {"a.jpe", "Input file: a.jpe" + byName},
      {"a.png ", "Input file: a.png " + byName},
      {"nothere.png", "Couldn't open input file: nothere.png"},
      {"photo.jpg", "Couldn't open input file: photo.jpg"},  // holds a PNG
      {"photo.bmp", "Couldn't open input file: photo.bmp"},  // holds a PNG
      {"empty.png", "Couldn't open input file: empty.png"},
      {"folder.png", "Couldn't open input file: folder.png"},
  };
  Picture made = MakePicture(Kind::kRgb24, 30, 10);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    TempDir dir;
    // Every name but the missing one exists, most of them holding a good PNG picture, so a
    // refusal by name cannot come from the content.
    if (c.input == "empty.png") {
      WriteBytes(dir / c.input, "");
    } else if (c.input == "folder.png") {
      ASSERT_EQ(mkdir((dir / c.input).c_str(), 0755), 0);
    } else if (c.input != "nothere.png") {
      WritePicture(made.get(), dir / "source.png");
      ASSERT_EQ(std::rename((dir / "source.png").c_str(), (dir / c.input).c_str()), 0);
    }
    const Names before = ListDir(dir.path());
    const bool isFile = c.input != "folder.png";
    const std::string inputBytes = isFile ? ReadBytes(dir / c.input) : "";

    RunResult r = RunIn(dir, {"-w", "10", c.input, "l.png", "r.png"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, WarningBox(c.message));
    EXPECT_EQ(ListDir(dir.path()), before);
    if (isFile) {
      EXPECT_EQ(ReadBytes(dir / c.input), inputBytes);
    }
  }
}

TEST(TwoPieceCutE2ETest, LongMessagesAreCutToFiveHundredCharacters) {
  const std::string prefix = "Couldn't open input file: ";
  // Names of a missing file making a message of 499, 500 and about 630 characters.
  for (size_t nameLength : {473u, 474u, 600u}) {
    SCOPED_TRACE(nameLength);
    TempDir dir;
    const std::string name = std::string(nameLength - 4, 'n') + ".png";
    RunResult r = RunIn(dir, {"-w", "10", name});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    const std::string full = prefix + name;
    if (full.size() <= 499) {
      EXPECT_EQ(r.err, WarningBox(full));
    } else {
      const std::string shown = full.substr(0, 496) + " ...";
      EXPECT_EQ(shown.size(), 500u);
      EXPECT_EQ(r.err, WarningBox(shown));
    }
    EXPECT_TRUE(ListDir(dir.path()).empty());
  }
}

// ---------------------------------------------------------------------------------------------
// Extensions in any letter case, for input and output; the format follows the name only.

TEST(TwoPieceCutE2ETest, ExtensionsAreMatchedWithoutRegardToCase) {
  struct Case {
    std::string input;
    FREE_IMAGE_FORMAT inputFormat;
    std::string first, rest;
    FREE_IMAGE_FORMAT firstFormat, restFormat;
  };
  const Case cases[] = {
      {"a.PnG", FIF_PNG, "b.BMP", "c.Jpeg", FIF_BMP, FIF_JPEG},
      {"x.BMP", FIF_BMP, "y.PnG", "z.JPG", FIF_PNG, FIF_JPEG},
      {"p.JPG", FIF_JPEG, "q.jpeg", "r.Bmp", FIF_JPEG, FIF_BMP},
      {"p.JPEG", FIF_JPEG, "q.PNG", "r.jPg", FIF_PNG, FIF_JPEG},
      // The shortest accepted names are the extension alone.
      {".png", FIF_PNG, ".bmp", ".jpg", FIF_BMP, FIF_JPEG},
  };
  Picture made = MakePicture(Kind::kRgb24, 40, 16);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " " + c.first + " " + c.rest);
    TempDir dir;
    // The format is given here rather than taken from the name, so the input does not lean on
    // any reading of mixed-case names.
    ASSERT_TRUE(FreeImage_Save(c.inputFormat, made.get(), (dir / c.input).c_str(), 0));
    Picture source = ReadPicture(dir / c.input);
    ASSERT_TRUE(source);

    RunResult r = RunIn(dir, {"-w", "15", c.input, c.first, c.rest});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(ListDir(dir.path()), SortedNames({c.input, c.first, c.rest}));
    EXPECT_EQ(ShapeOf(dir / c.first).format, c.firstFormat);
    EXPECT_EQ(ShapeOf(dir / c.rest).format, c.restFormat);
    ExpectWritten(dir, source.get(), {c.first, 0, 0, 15, 16});
    ExpectWritten(dir, source.get(), {c.rest, 15, 0, 25, 16});
  }
}

// ---------------------------------------------------------------------------------------------
// Saves that fail: a file that cannot be written completely never replaces anything, an empty
// or out-of-picture piece is never saved, and both are reported after every piece was tried.

struct FailureCase {
  Names args;
  long long fileSizeLimit;  // -1: none
  Names markers;            // files that exist before the run, with text of their own
  std::string notWritten;   // the name in "Couldn't save file: %s"; empty when all went well
  std::vector<Written> written;
  Names listing;
  Names folders;  // directories that exist before the run
};

// The source is a.bmp, 200 x 50 at 24 bits: 600 bytes a row, about 30 kB in all, so a piece of
// 90% needs 27 kB, one of 10% 3 kB and one of 50% 15 kB.
TEST(TwoPieceCutE2ETest, FailedSavesLeaveFilesAsTheyWereAndAreReported) {
  constexpr long long kLimit = 10000;
  // clang-format off
  const FailureCase cases[] = {
      // The one-name form must not lose its input.
      {{"-w", "50%", "a.bmp"}, kLimit, {}, "a.bmp", {}, {"a.bmp"}, {}},
      {{"-h", "90%", "a.bmp"}, kLimit, {}, "a.bmp", {}, {"a.bmp"}, {}},
      // Existing outputs stay, missing ones stay missing.
      {{"-w", "50%", "a.bmp", "out.bmp", "rest.bmp"}, kLimit, {"out.bmp"}, "out.bmp", {}, {"a.bmp", "out.bmp"}, {}},
      {{"-w", "50%", "a.bmp", "out.bmp", "rest.bmp"}, kLimit, {"out.bmp", "rest.bmp"}, "out.bmp", {}, {"a.bmp", "out.bmp", "rest.bmp"}, {}},
      // The first piece fails, the rest is still written.
      {{"-w", "90%", "a.bmp", "big.bmp", "small.bmp"}, kLimit, {"big.bmp"}, "big.bmp", {{"small.bmp", 180, 0, 20, 50}}, {"a.bmp", "big.bmp", "small.bmp"}, {}},
      // The first piece is written and stays written when the rest fails.
      {{"-w", "10%", "a.bmp", "small.bmp", "big.bmp"}, kLimit, {"small.bmp", "big.bmp"}, "big.bmp", {{"small.bmp", 0, 0, 20, 50}}, {"a.bmp", "big.bmp", "small.bmp"}, {}},
      {{"-h", "10%", "a.bmp", "-", "big.bmp"}, kLimit, {"big.bmp"}, "big.bmp", {}, {"a.bmp", "big.bmp"}, {}},
      // The file system refuses: no such directory, or a directory in the way.
      {{"-w", "20", "a.bmp", "nodir/out.bmp", "rest.bmp"}, -1, {}, "nodir/out.bmp", {{"rest.bmp", 20, 0, 180, 50}}, {"a.bmp", "rest.bmp"}, {}},
      {{"-w", "20", "a.bmp", "out.bmp", "folder.bmp"}, -1, {}, "folder.bmp", {{"out.bmp", 0, 0, 20, 50}}, {"a.bmp", "folder.bmp", "out.bmp"}, {"folder.bmp"}},
  };
  // clang-format on
  Picture made = MakePicture(Kind::kRgb24, 200, 50);
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(DescribeArgs(c.args) + " limit " + std::to_string(c.fileSizeLimit));
    TempDir dir;
    Picture source = Place(dir, made.get(), "a.bmp");
    ASSERT_TRUE(source);
    const std::string inputBytes = ReadBytes(dir / "a.bmp");
    for (const std::string& marker : c.markers) {
      WriteBytes(dir / marker, "old " + marker);
    }
    for (const std::string& folder : c.folders) {
      ASSERT_EQ(mkdir((dir / folder).c_str(), 0755), 0);
    }

    RunResult r = RunIn(dir, c.args, c.fileSizeLimit);
    EXPECT_EQ(r.signal, 0);
    ExpectSaveOutcome(r, c.notWritten);
    EXPECT_EQ(ListDir(dir.path()), SortedNames(c.listing));
    EXPECT_EQ(ReadBytes(dir / "a.bmp"), inputBytes);
    for (const Written& piece : c.written) {
      ExpectWritten(dir, source.get(), piece);
    }
    for (const std::string& marker : c.markers) {
      bool rewritten = false;
      for (const Written& piece : c.written) {
        rewritten = rewritten || piece.name == marker;
      }
      if (!rewritten) {
        EXPECT_EQ(ReadBytes(dir / marker), "old " + marker) << marker;
      }
    }
  }
}

// Cut positions that leave one piece, or both, without a picture: 0, the whole dimension,
// beyond it, and below 0. The piece that exists is written; the other is reported and never
// touches its file.
struct PositionCase {
  Names size;
  bool firstExists, restExists;
};

TEST(TwoPieceCutE2ETest, PiecesOutsideThePictureAreNeverSaved) {
  constexpr unsigned kW = 60, kH = 30;
  const PositionCase cases[] = {
      {{"-w", "0"}, false, true},     {{"-w", "60"}, true, false},
      {{"-w", "100%"}, true, false},  {{"-w", "9999"}, false, false},
      {{"-w", "150%"}, false, false}, {{"-w", "-5"}, false, false},
      {{"-h", "0"}, false, true},     {{"-h", "30"}, true, false},
      {{"-h", "9999"}, false, false}, {{"-h", "-5"}, false, false},
  };
  Picture made = MakePicture(Kind::kRgb24, kW, kH);
  for (const PositionCase& c : cases) {
    for (bool markersExist : {false, true}) {
      SCOPED_TRACE(DescribeArgs(c.size) + (markersExist ? "over existing files" : "no files"));
      TempDir dir;
      Picture source = Place(dir, made.get(), "a.png");
      ASSERT_TRUE(source);
      if (markersExist) {
        WriteBytes(dir / "out.png", "old first");
        WriteBytes(dir / "rest.png", "old rest");
      }
      Names args = c.size;
      for (const char* name : {"a.png", "out.png", "rest.png"}) {
        args.push_back(name);
      }
      RunResult r = RunIn(dir, args);
      ExpectSaveOutcome(r, c.firstExists ? "rest.png" : "out.png");
      Names listing = {"a.png"};
      if (c.firstExists) {
        ExpectWritten(dir, source.get(), {"out.png", 0, 0, kW, kH});
      } else if (markersExist) {
        EXPECT_EQ(ReadBytes(dir / "out.png"), "old first");
      }
      if (c.restExists) {
        ExpectWritten(dir, source.get(), {"rest.png", 0, 0, kW, kH});
      } else if (markersExist) {
        EXPECT_EQ(ReadBytes(dir / "rest.png"), "old rest");
      }
      if (markersExist || c.firstExists) {
        listing.push_back("out.png");
      }
      if (markersExist || c.restExists) {
        listing.push_back("rest.png");
      }
      EXPECT_EQ(ListDir(dir.path()), SortedNames(listing));
    }
  }
}

TEST(TwoPieceCutE2ETest, MissingPiecesUnderOtherNameFormsAreHandledAlike) {
  constexpr unsigned kW = 60, kH = 30;
  struct Case {
    Names args;
    std::string notWritten;
    std::vector<Written> written;
    Names listing;
  };
  // clang-format off
  const Case cases[] = {
      // One name: the input stays as it was.
      {{"-w", "0", "a.png"}, "a.png", {}, {"a.png"}},
      {{"-h", "9999", "a.png"}, "a.png", {}, {"a.png"}},
      {{"-w", "-5", "a.png", "out.png"}, "out.png", {}, {"a.png"}},
      // A skipped piece is not reported, whether it would have had a picture or not.
      {{"-w", "0", "a.png", "-", "rest.png"}, "", {{"rest.png", 0, 0, kW, kH}}, {"a.png", "rest.png"}},
      {{"-h", "30", "a.png", "out.png", "-"}, "", {{"out.png", 0, 0, kW, kH}}, {"a.png", "out.png"}},
      {{"-w", "60", "a.png", "out.png"}, "", {{"out.png", 0, 0, kW, kH}}, {"a.png", "out.png"}},
      {{"-w", "9999", "a.png", "-", "-"}, "", {}, {"a.png"}},
      {{"-w", "9999", "a.png", "-"}, "", {}, {"a.png"}},
      // The same name twice: the rest has no picture, so the first piece remains.
      {{"-w", "60", "a.png", "same.png", "same.png"}, "same.png", {{"same.png", 0, 0, kW, kH}}, {"a.png", "same.png"}},
  };
  // clang-format on
  Picture made = MakePicture(Kind::kRgb24, kW, kH);
  for (const Case& c : cases) {
    SCOPED_TRACE(DescribeArgs(c.args));
    TempDir dir;
    Picture source = Place(dir, made.get(), "a.png");
    ASSERT_TRUE(source);
    const std::string inputBytes = ReadBytes(dir / "a.png");
    RunResult r = RunIn(dir, c.args);
    ExpectSaveOutcome(r, c.notWritten);
    EXPECT_EQ(ListDir(dir.path()), SortedNames(c.listing));
    EXPECT_EQ(ReadBytes(dir / "a.png"), inputBytes);
    for (const Written& piece : c.written) {
      ExpectWritten(dir, source.get(), piece);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Replacing files in place.

TEST(TwoPieceCutE2ETest, ReplacedFilesKeepTheirPermissionsAndLinks) {
  TempDir dir;
  Picture made = MakePicture(Kind::kRgb24, 40, 20);
  Picture source = Place(dir, made.get(), "a.png");
  ASSERT_TRUE(source);
  WriteBytes(dir / "out.png", "old");
  ASSERT_EQ(chmod((dir / "out.png").c_str(), 0640), 0);
  WriteBytes(dir / "target.png", "old");
  ASSERT_EQ(chmod((dir / "target.png").c_str(), 0604), 0);
  ASSERT_EQ(symlink("target.png", (dir / "link.png").c_str()), 0);

  RunResult r = RunIn(dir, {"-w", "10", "a.png", "out.png", "link.png"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(ListDir(dir.path()), SortedNames({"a.png", "link.png", "out.png", "target.png"}));
  ExpectWritten(dir, source.get(), {"out.png", 0, 0, 10, 20});
  EXPECT_EQ(PermissionsOf(dir / "out.png"), 0640u);
  // A link is written through, like any program that opens the name would.
  struct stat st;
  ASSERT_EQ(lstat((dir / "link.png").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ExpectWritten(dir, source.get(), {"target.png", 10, 0, 30, 20});
  EXPECT_EQ(PermissionsOf(dir / "target.png"), 0604u);

  // The one-name form keeps the input's own bits too.
  ASSERT_EQ(chmod((dir / "a.png").c_str(), 0600), 0);
  r = RunIn(dir, {"-h", "5", "a.png"});
  EXPECT_EQ(r.exitCode, 0);
  ExpectWritten(dir, source.get(), {"a.png", 0, 0, 40, 5});
  EXPECT_EQ(PermissionsOf(dir / "a.png"), 0600u);

  // A new file gets the usual permissions for new files.
  mode_t mask = umask(0);
  umask(mask);
  r = RunIn(dir, {"-h", "2", "a.png", "new.png"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(PermissionsOf(dir / "new.png"), 0666u & ~mask);
}

TEST(TwoPieceCutE2ETest, PiecesGoToTheDirectoriesTheirNamesGive) {
  TempDir dir;
  ASSERT_EQ(mkdir((dir / "in").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
  Picture made = MakePicture(Kind::kRgb24, 40, 20);
  Picture source = Place(dir, made.get(), "in/a.png");
  ASSERT_TRUE(source);

  RunResult r = RunIn(dir, {"-w", "25%", "in/a.png", "out/l.png", dir / "out/r.bmp"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(ListDir(dir.path()), SortedNames({"in", "out"}));
  EXPECT_EQ(ListDir(dir / "in"), Names{"a.png"});
  EXPECT_EQ(ListDir(dir / "out"), SortedNames({"l.png", "r.bmp"}));
  ExpectWritten(dir, source.get(), {"out/l.png", 0, 0, 10, 20});
  ExpectWritten(dir, source.get(), {"out/r.bmp", 10, 0, 30, 20});

  r = RunIn(dir, {"-w", "25%", "in/a.png"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(ListDir(dir / "in"), Names{"a.png"});
  EXPECT_EQ(ListDir(dir.path()), SortedNames({"in", "out"}));
  ExpectWritten(dir, source.get(), {"in/a.png", 0, 0, 10, 20});
}

// ---------------------------------------------------------------------------------------------
// Depths and types the output format cannot hold are converted; those it can hold are kept.

// The pictures of the depth table: the support's kinds, and two made from them.
enum class Source {
  kGrey8,
  kRgb24,
  kRgba32,
  kRgb565,
  kRgb16,
  kRgba16,
  kOpaqueRgba16,  // 16 bits per channel, every alpha full
  kGrey16,        // 16-bit grey, each value the 8-bit grey picture's value times 257
};

constexpr unsigned kDepthWidth = 24, kDepthHeight = 10, kDepthCut = 9;

Picture MakeSource(Source source) {
  constexpr unsigned w = kDepthWidth, h = kDepthHeight;
  switch (source) {
    case Source::kGrey8:
      return MakePicture(Kind::kGrey8, w, h);
    case Source::kRgb24:
      return MakePicture(Kind::kRgb24, w, h);
    case Source::kRgba32:
      return MakePicture(Kind::kRgba32, w, h);
    case Source::kRgb565:
      return MakePicture(Kind::kRgb565, w, h);
    case Source::kRgb16:
      return MakePicture(Kind::kRgb16, w, h);
    case Source::kRgba16:
      return MakePicture(Kind::kRgba16, w, h);
    case Source::kOpaqueRgba16: {
      Picture rgb = MakePicture(Kind::kRgb16, w, h);
      return Picture(FreeImage_ConvertToType(rgb.get(), FIT_RGBA16, TRUE));
    }
    case Source::kGrey16: {
      Picture grey = MakePicture(Kind::kGrey8, w, h);
      Picture wide(FreeImage_AllocateT(FIT_UINT16, static_cast<int>(w), static_cast<int>(h)));
      for (unsigned y = 0; y < h; ++y) {
        const BYTE* from = FreeImage_GetScanLine(grey.get(), static_cast<int>(y));
        WORD* to = reinterpret_cast<WORD*>(FreeImage_GetScanLine(wide.get(), static_cast<int>(y)));
        for (unsigned x = 0; x < w; ++x) {
          to[x] = static_cast<WORD>(from[x] * 257);
        }
      }
      return wide;
    }
  }
  return nullptr;
}

enum class Reference {
  kSource,    // pixel-exact against the source as stored
  kAs24Bits,  // pixel-exact against the library's 24-bit conversion of the source
  kAsGrey8,   // pixel-exact against the 8-bit grey picture the 16-bit one was made from
  kSizeOnly,  // JPEG: its size and depth only
};

struct OutputCheck {
  std::string name;
  FREE_IMAGE_FORMAT format;
  std::vector<unsigned> bpp;  // the depths allowed
  Reference reference;
};

struct DepthCase {
  Source source;
  std::string input;
  OutputCheck first, rest;
};

TEST(TwoPieceCutE2ETest, PiecesAreConvertedOnlyWhenTheFormatCannotHoldThem) {
  // clang-format off
  const DepthCase cases[] = {
      // 8-bit grey stays 8-bit grey.
      {Source::kGrey8, "a.png", {"l.bmp", FIF_BMP, {8}, Reference::kSource}, {"r.png", FIF_PNG, {8}, Reference::kSource}},
      {Source::kGrey8, "a.bmp", {"l.png", FIF_PNG, {8}, Reference::kSource}, {"r.jpg", FIF_JPEG, {8}, Reference::kSizeOnly}},
      {Source::kRgb24, "a.bmp", {"l.png", FIF_PNG, {24}, Reference::kSource}, {"r.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}},
      // Alpha is kept where the format holds it.
      {Source::kRgba32, "a.png", {"l.png", FIF_PNG, {32}, Reference::kSource}, {"r.png", FIF_PNG, {32}, Reference::kSource}},
      {Source::kRgba32, "a.png", {"l.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}, {"r.jpeg", FIF_JPEG, {24}, Reference::kSizeOnly}},
      // PNG keeps 16 bits per channel as they are.
      {Source::kRgb16, "a.png", {"l.png", FIF_PNG, {48}, Reference::kSource}, {"r.png", FIF_PNG, {48}, Reference::kSource}},
      {Source::kRgba16, "a.png", {"l.png", FIF_PNG, {64}, Reference::kSource}, {"r.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}},
      {Source::kGrey16, "a.png", {"l.png", FIF_PNG, {16}, Reference::kSource}, {"r.png", FIF_PNG, {16}, Reference::kSource}},
      // Elsewhere 16 bits per channel become 8. The opaque 16-bit alpha picture gives the colours of the
      // 24-bit conversion whether its alpha is flattened or dropped.
      {Source::kRgb16, "a.png", {"l.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}, {"r.bmp", FIF_BMP, {24}, Reference::kAs24Bits}},
      {Source::kRgb16, "a.png", {"l.bmp", FIF_BMP, {24}, Reference::kAs24Bits}, {"r.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}},
      {Source::kOpaqueRgba16, "a.png", {"l.bmp", FIF_BMP, {24, 32}, Reference::kAs24Bits}, {"r.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}},
      {Source::kGrey16, "a.png", {"l.bmp", FIF_BMP, {8}, Reference::kAsGrey8}, {"r.jpg", FIF_JPEG, {8}, Reference::kSizeOnly}},
      // 5-6-5 colour is widened the library's way where the format has no 16-bit colour.
      {Source::kRgb565, "a.bmp", {"l.png", FIF_PNG, {24}, Reference::kAs24Bits}, {"r.bmp", FIF_BMP, {16}, Reference::kSource}},
      {Source::kRgb565, "a.bmp", {"l.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}, {"r.png", FIF_PNG, {24}, Reference::kAs24Bits}},
  };
  // clang-format on
  const Picture grey8 = MakeSource(Source::kGrey8);
  for (const DepthCase& c : cases) {
    SCOPED_TRACE(c.input + " (source " + std::to_string(static_cast<int>(c.source)) + ") -> " +
                 c.first.name + ", " + c.rest.name);
    TempDir dir;
    Picture made = MakeSource(c.source);
    ASSERT_TRUE(made);
    Picture source = Place(dir, made.get(), c.input);
    ASSERT_TRUE(source);
    ASSERT_EQ(FreeImage_GetImageType(source.get()), FreeImage_GetImageType(made.get()));
    ASSERT_EQ(FreeImage_GetBPP(source.get()), FreeImage_GetBPP(made.get()));
    if (c.source == Source::kRgb565) {
      ASSERT_EQ(FreeImage_GetGreenMask(source.get()), unsigned{FI16_565_GREEN_MASK});
    }
    Picture as24(FreeImage_ConvertTo24Bits(source.get()));

    RunResult r = RunIn(dir, {"-w", std::to_string(kDepthCut), c.input, c.first.name, c.rest.name});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(ListDir(dir.path()), SortedNames({c.input, c.first.name, c.rest.name}));

    auto check = [&](const OutputCheck& out, unsigned left, unsigned width) {
      SCOPED_TRACE(out.name);
      FileShape shape = ShapeOf(dir / out.name);
      ASSERT_TRUE(shape.readable);
      EXPECT_EQ(shape.format, out.format);
      bool kept = out.reference == Reference::kSource;
      EXPECT_EQ(shape.type, kept ? FreeImage_GetImageType(source.get()) : FIT_BITMAP);
      EXPECT_EQ(shape.width, width);
      EXPECT_EQ(shape.height, kDepthHeight);
      EXPECT_NE(std::find(out.bpp.begin(), out.bpp.end(), shape.bpp), out.bpp.end())
          << "depth " << shape.bpp;
      if (c.source == Source::kGrey8 || c.source == Source::kGrey16) {
        EXPECT_EQ(shape.colorType, FIC_MINISBLACK);
      }
      FIBITMAP* reference = nullptr;
      switch (out.reference) {
        case Reference::kSource:
          reference = source.get();
          break;
        case Reference::kAs24Bits:
          reference = as24.get();
          ASSERT_TRUE(reference);
          break;
        case Reference::kAsGrey8:
          reference = grey8.get();
          break;
        case Reference::kSizeOnly:
          return;
      }
      EXPECT_TRUE(FileHoldsArea(dir / out.name, reference, left, 0, width, kDepthHeight));
    };
    check(c.first, 0, kDepthCut);
    check(c.rest, kDepthCut, kDepthWidth - kDepthCut);
  }
}

// A small but well-formed RGB display profile with one text tag, so that its bytes are our own.
std::string RgbProfile() {
  std::string p(128, '\0');
  auto put = [&p](size_t at, const char* text) { p.replace(at, 4, text, 4); };
  auto putNumber = [&p](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      p[at + static_cast<size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
    }
  };
  const std::string text = "text" + std::string(4, '\0') + "Cut by Dolvane tests";
  putNumber(8, 0x02100000);  // version 2.1
  put(12, "mntr");
  put(16, "RGB ");
  put(20, "XYZ ");
  put(36, "acsp");
  putNumber(68, 0xF6D6);  // the D50 illuminant
  putNumber(72, 0x10000);
  putNumber(76, 0xD32D);
  p += std::string(4 + 12, '\0');
  putNumber(128, 1);
  put(132, "cprt");
  putNumber(136, 144);
  putNumber(140, static_cast<uint32_t>(text.size()));
  p += text;
  putNumber(0, static_cast<uint32_t>(p.size()));
  return p;
}

std::string ProfileOf(FIBITMAP* picture) {
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(picture);
  return profile->data ? std::string(static_cast<const char*>(profile->data), profile->size) : "";
}

TEST(TwoPieceCutE2ETest, PiecesKeepTheColourProfileThroughConversions) {
  const std::string profile = RgbProfile();
  for (Kind kind : {Kind::kRgb24, Kind::kRgba32, Kind::kRgb16, Kind::kRgba16}) {
    SCOPED_TRACE(static_cast<int>(kind));
    TempDir dir;
    Picture made = MakePicture(kind, 20, 6);
    FreeImage_CreateICCProfile(made.get(), const_cast<char*>(profile.data()),
                               static_cast<long>(profile.size()));
    Picture source = Place(dir, made.get(), "a.png");
    ASSERT_TRUE(source);
    ASSERT_EQ(ProfileOf(source.get()), profile) << "the PNG's own profile is not read";

    RunResult r = RunIn(dir, {"-w", "50%", "a.png", "l.png", "r.jpg"});
    ExpectSaveOutcome(r, "");
    for (const char* piece : {"l.png", "r.jpg"}) {
      Picture back = ReadPicture(dir / piece);
      ASSERT_TRUE(back) << piece;
      EXPECT_EQ(ProfileOf(back.get()), profile) << piece;
    }
    // A piece the file system refuses is reported, not written again without its profile.
    const auto tooSmall = static_cast<long long>(ReadBytes(dir / "l.png").size()) - 1;
    ASSERT_EQ(std::remove((dir / "l.png").c_str()), 0);
    ExpectSaveOutcome(RunIn(dir, {"-w", "50%", "a.png", "l.png"}, tooSmall), "l.png");
    EXPECT_FALSE(ShapeOf(dir / "l.png").readable);
  }
}

// A 32-bit BMP commonly leaves its fourth byte at 0: unused, not transparent. Cut to a format
// without alpha, it must keep its colours rather than turn white.
TEST(TwoPieceCutE2ETest, UnusedFourthByteOfBmpIsNotTransparency) {
  constexpr unsigned kW = 32, kH = 16, kCut = 16;
  TempDir dir;
  Picture made(FreeImage_Allocate(kW, kH, 32));
  ASSERT_TRUE(made);
  FillRgba32(made.get(), 0, 0, kW, kH, 200, 30, 60, 0);
  Place(dir, made.get(), "a.bmp");

  RunResult r = RunIn(dir, {"-w", std::to_string(kCut), "a.bmp", "l.jpg", "r.jpg"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(ListDir(dir.path()), SortedNames({"a.bmp", "l.jpg", "r.jpg"}));
  for (const char* name : {"l.jpg", "r.jpg"}) {
    SCOPED_TRACE(name);
    Picture piece = ReadPicture(dir / name);
    ASSERT_TRUE(piece);
    EXPECT_EQ(FreeImage_GetWidth(piece.get()), kCut);
    uint32_t pixel = PixelAt(piece.get(), kCut / 2, kH / 2);
    EXPECT_NEAR(static_cast<int>((pixel >> 16) & 0xFF), 200, 8);
    EXPECT_NEAR(static_cast<int>((pixel >> 8) & 0xFF), 30, 8);
    EXPECT_NEAR(static_cast<int>(pixel & 0xFF), 60, 8);
  }
}

// A format without transparency shows transparent parts as white, not as whatever colour they
// happen to hold; opaque parts keep their colour.
TEST(TwoPieceCutE2ETest, TransparencyIsFlattenedOntoWhiteForJpeg) {
  constexpr unsigned kW = 64, kH = 32, kCut = 32;
  for (Kind kind : {Kind::kRgba32, Kind::kRgba16}) {
    SCOPED_TRACE(kind == Kind::kRgba32 ? "8 bits per channel" : "16 bits per channel");
    TempDir dir;
    Picture made = MakePicture(kind, kW, kH);
    ASSERT_TRUE(made);
    // In each half: a transparent black block at x 4..19 and an opaque black one at x 20..27.
    for (unsigned half : {0u, kCut}) {
      if (kind == Kind::kRgba32) {
        FillRgba32(made.get(), half + 4, 4, 16, 24, 0, 0, 0, 0);
        FillRgba32(made.get(), half + 20, 4, 8, 24, 0, 0, 0, 255);
      } else {
        FillRgba16(made.get(), half + 4, 4, 16, 24, 0, 0, 0, 0);
        FillRgba16(made.get(), half + 20, 4, 8, 24, 0, 0, 0, 65535);
      }
    }
    Place(dir, made.get(), "a.png");

    RunResult r = RunIn(dir, {"-w", std::to_string(kCut), "a.png", "l.jpg", "r.jpg"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(ListDir(dir.path()), SortedNames({"a.png", "l.jpg", "r.jpg"}));
    for (const char* name : {"l.jpg", "r.jpg"}) {
      SCOPED_TRACE(name);
      FileShape shape = ShapeOf(dir / name);
      EXPECT_EQ(shape.format, FIF_JPEG);
      EXPECT_EQ(shape.bpp, 24u);
      EXPECT_EQ(shape.width, kCut);
      EXPECT_EQ(shape.height, kH);
      Picture piece = ReadPicture(dir / name);
      ASSERT_TRUE(piece);
      // Inside the blocks, away from their edges where the JPEG blurs.
      ChannelRange clear = ChannelsOver(piece.get(), 7, 7, 10, 18);
      ChannelRange opaque = ChannelsOver(piece.get(), 22, 7, 4, 18);
      EXPECT_GE(clear.lowest, 235u);
      EXPECT_LE(opaque.highest, 20u);
    }
  }
}

TEST(TwoPieceCutE2ETest, LowerJpegQualityGivesSmallerFiles) {
  TempDir dir;
  Picture made = MakePicture(Kind::kRgb24, 64, 48);
  Place(dir, made.get(), "a.png");
  RunResult r = RunIn(dir, {"-w", "50%", "a.png", "l100.jpg", "r100.jpg"});
  EXPECT_EQ(r.exitCode, 0);
  r = RunIn(dir, {"-oq", "10", "-w", "50%", "a.png", "l10.jpg", "r10.jpg"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out + r.err, "");
  for (const char* piece : {"l", "r"}) {
    std::string best = ReadBytes(dir / (std::string(piece) + "100.jpg"));
    std::string low = ReadBytes(dir / (std::string(piece) + "10.jpg"));
    ASSERT_FALSE(low.empty());
    EXPECT_LT(low.size(), best.size() / 2) << piece;
    EXPECT_EQ(ShapeOf(dir / (std::string(piece) + "10.jpg")).width, 32u);
  }
}

// Each component's sampling factors in a JPEG file's frame header, as "2x1 1x1 1x1" (4:2:2).
std::string SamplingOf(const std::string& jpeg) {
  for (size_t at = 2; at + 10 < jpeg.size();
       at += 2 + (uint8_t(jpeg[at + 2]) << 8 | uint8_t(jpeg[at + 3]))) {
    const auto marker = static_cast<uint8_t>(jpeg[at + 1]);
    if (marker >= 0xC0 && marker <= 0xC2) {
      std::string factors;
      for (unsigned i = 0; i < uint8_t(jpeg[at + 9]) && at + 11 + 3 * i < jpeg.size(); ++i) {
        const auto f = static_cast<uint8_t>(jpeg[at + 11 + 3 * i]);
        factors += (i > 0 ? " " : "") + std::to_string(f >> 4) + "x" + std::to_string(f & 15);
      }
      return factors;
    }
  }
  return "no frame";
}

// The peak signal-to-noise ratio of `piece` against the area of `whole` at (left, top), in dB
// over the red, green and blue of every pixel.
double Psnr(FIBITMAP* piece, FIBITMAP* whole, unsigned left, unsigned top) {
  double squares = 0;
  const unsigned width = FreeImage_GetWidth(piece), height = FreeImage_GetHeight(piece);
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      const uint32_t a = PixelAt(piece, x, y), b = PixelAt(whole, left + x, top + y);
      for (int shift : {0, 8, 16}) {
        const double d = double((a >> shift) & 0xFF) - double((b >> shift) & 0xFF);
        squares += d * d;
      }
    }
  }
  return 10 * std::log10(255.0 * 255.0 * 3 * width * height / std::max(squares, 1e-9));
}

// Colour that changes over a few pixels, as in a photo, unlike MakePicture's pixel noise.
Picture SmoothPicture(unsigned width, unsigned height) {
  Picture picture(FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 24));
  for (unsigned y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(picture.get(), static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      line[3 * x + FI_RGBA_RED] = static_cast<BYTE>(128 + 100 * std::sin(x / 5.0 + y / 9.0));
      line[3 * x + FI_RGBA_GREEN] = static_cast<BYTE>(128 + 60 * std::cos(y / 4.0));
      line[3 * x + FI_RGBA_BLUE] = static_cast<BYTE>(128 + 100 * std::sin(x / 3.0 - y / 7.0));
    }
  }
  return picture;
}

// JPEG pieces keep the colour their source had: its own sampling, 4:4:4 from another format at
// quality 90 or more; explicit writer bits in -oq are the user's.
TEST(TwoPieceCutE2ETest, JpegPiecesKeepTheSourcesColour) {
  const struct {
    const char* source;
    int sourceFlags;
    const char* quality;
    const char* sampling;
    double leastPsnr;  // against the source as read; about 36 dB with colour halved again
  } cases[] = {
      {"in.jpg", JPEG_SUBSAMPLING_444 | 95, "100", "1x1 1x1 1x1", 50},
      {"in.jpg", JPEG_SUBSAMPLING_422 | 95, "100", "2x1 1x1 1x1", 38},
      {"in.jpg", JPEG_SUBSAMPLING_420 | 95, "100", "2x2 1x1 1x1", 37},
      {"in.jpg", JPEG_SUBSAMPLING_411 | 95, "100", "4x1 1x1 1x1", 50},
      {"in.png", 0, "100", "1x1 1x1 1x1", 47},
      {"in.png", 0, "89", "2x2 1x1 1x1", 0},
      {"in.jpg", JPEG_SUBSAMPLING_444 | 95, "16474", "2x2 1x1 1x1", 0},  // 4:2:0 | 90
      {"grey.jpg", 95, "100", "1x1", 55},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.sourceFlags) + " -oq " + c.quality);
    TempDir dir;
    Picture made = c.source[0] == 'g' ? MakePicture(Kind::kGrey8, 96, 64) : SmoothPicture(96, 64);
    WritePicture(made.get(), dir / c.source, c.sourceFlags);
    ExpectSaveOutcome(RunIn(dir, {"-oq", c.quality, "-w", "50%", c.source, "l.jpg", "r.jpg"}), "");
    Picture source = ReadPicture(dir / c.source);
    for (const char* name : {"l.jpg", "r.jpg"}) {
      EXPECT_EQ(SamplingOf(ReadBytes(dir / name)), c.sampling) << name;
      Picture piece = ReadPicture(dir / name);
      ASSERT_TRUE(piece) << name;
      EXPECT_GE(Psnr(piece.get(), source.get(), name[0] == 'l' ? 0 : 48, 0), c.leastPsnr) << name;
    }
  }
}

}  // namespace
}  // namespace testing_support
