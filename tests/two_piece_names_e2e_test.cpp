// The two-piece cut run for real on names and sizes: which name gets which piece, sizes in every
// unit, extensions in any case, files replaced in place, pieces in other directories.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/crafted_bytes.h"
#include "support/e2e_helpers.h"
#include "support/pictures.h"
#include "support/run_program.h"

namespace testing_support {
namespace {

// How the names, the size and the skip name decide what is written.

struct CutCase {
  unsigned width, height;
  std::string input;
  Names args;
  int exitCode;
  std::string err;  // the message of the warning box, empty when none
  std::vector<WrittenPiece> written;
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
    for (const WrittenPiece& piece : c.written) {
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
  unsigned dotsPerMetreX, dotsPerMetreY;  // stored in a PNG, or what a JPEG's blocks come to
  unsigned width, height;
  Names size;                 // -w or -h and the size text
  unsigned first;             // the first piece's width (-w) or height (-h)
  std::string jpegHead = {};  // for a JPEG: the blocks in place of the library's JFIF block
};

// A JFIF block with a density, and an EXIF block of XResolution and YResolution (numerator over
// denominator) and ResolutionUnit (none when 0).
std::string Jfif(unsigned unit, unsigned x, unsigned y) {
  return Segment('\xE0', std::string("JFIF\0\1\1", 7) + Byte(unit) + BigEndian(x, 2) +
                             BigEndian(y, 2) + std::string(2, '\0'));
}
std::string Exif(uint32_t x, uint32_t xOver, uint32_t y, uint32_t yOver, unsigned unit) {
  const uint32_t entries = unit == 0 ? 2 : 3, valuesAt = 8 + 2 + 12 * entries + 4;
  return Segment('\xE1', std::string("Exif\0\0II*\0", 10) + LittleEndian(8, 4) +
                             LittleEndian(entries, 2) + ExifEntry(0x011A, kRational, 1, valuesAt) +
                             ExifEntry(0x011B, kRational, 1, valuesAt + 8) +
                             (unit == 0 ? "" : ExifEntry(0x0128, kShort, 1, unit)) +
                             LittleEndian(0, 4) + LittleEndian(x, 4) + LittleEndian(xOver, 4) +
                             LittleEndian(y, 4) + LittleEndian(yOver, 4));
}

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
      // A JPEG's resolution comes from EXIF, axis by axis, when JFIF gives none; inches unless
      // the unit says centimetres. 300 dpi and 118.11 dots per cm are both 11811 per metre.
      {11811, 11811, 400, 4, {"-w", "2.54cm"}, 300, Exif(300, 1, 300, 1, 0)},
      {11811, 11811, 400, 4, {"-w", "1in"}, 300, Jfif(0, 1, 1) + Exif(11811, 100, 11811, 100, 3)},
      {11811, 2835, 10, 100, {"-h", "1in"}, 73, Exif(300, 1, 0, 1, 2)},
      {2835, 2835, 100, 4, {"-w", "1in"}, 73, Exif(300, 0, 5000000, 1, 2)},
      {3780, 3780, 400, 4, {"-w", "1in"}, 97, Jfif(1, 96, 96) + Exif(300, 1, 300, 1, 2)},
  };
  for (const ResolutionCase& c : cases) {
    SCOPED_TRACE(DescribeArgs(c.size) + std::to_string(c.dotsPerMetreX) + " x " +
                 std::to_string(c.dotsPerMetreY));
    TempDir dir;
    const std::string input = c.jpegHead.empty() ? "a.png" : "a.jpg";
    Picture made = MakePicture(Kind::kRgb24, c.width, c.height);
    FreeImage_SetDotsPerMeterX(made.get(), c.dotsPerMetreX);
    FreeImage_SetDotsPerMeterY(made.get(), c.dotsPerMetreY);
    WritePicture(made.get(), dir / input);
    if (!c.jpegHead.empty()) {  // in place of the writer's JFIF block
      const std::string jpeg = ReadBytes(dir / input);
      ASSERT_EQ(jpeg.substr(2, 4), std::string("\xFF\xE0\0\x10", 4));
      WriteBytes(dir / input, jpeg.substr(0, 2) + c.jpegHead + jpeg.substr(20));
    }
    Picture source = ReadPicture(dir / input);
    ASSERT_TRUE(source);
    ASSERT_EQ(FreeImage_GetDotsPerMeterX(source.get()), c.dotsPerMetreX);
    ASSERT_EQ(FreeImage_GetDotsPerMeterY(source.get()), c.dotsPerMetreY);
    Names args = c.size;
    for (const std::string& name : {input, std::string("l.png"), std::string("r.png")}) {
      args.push_back(name);
    }
    ExpectSaveOutcome(RunIn(dir, args), "");
    EXPECT_EQ(ListDir(dir.path()), SortedNames({input, "l.png", "r.png"}));
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

    ExpectSaveOutcome(RunIn(dir, {"-w", "15", c.input, c.first, c.rest}), "");
    EXPECT_EQ(ListDir(dir.path()), SortedNames({c.input, c.first, c.rest}));
    EXPECT_EQ(ShapeOf(dir / c.first).format, c.firstFormat);
    EXPECT_EQ(ShapeOf(dir / c.rest).format, c.restFormat);
    ExpectWritten(dir, source.get(), {c.first, 0, 0, 15, 16});
    ExpectWritten(dir, source.get(), {c.rest, 15, 0, 25, 16});
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
  ExpectSaveOutcome(r, "");
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
  ExpectSaveOutcome(r, "");
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

}  // namespace
}  // namespace testing_support
