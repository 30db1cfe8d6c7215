// The grid cut run for real: pictures made here, cut by build/dolvane, and every tile it writes
// looked at.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/e2e_helpers.h"
#include "support/pictures.h"
#include "support/run_program.h"

namespace testing_support {
namespace {

// Every tile name of a rows x cols grid, sorted as a listing is.
Names AllTiles(const std::string& base, int rows, int cols, const std::string& extension) {
  return SortedNames(TilesInOrder(base, rows, cols, extension));
}

// Each tile of the grid holds its rectangle of `source`, pixel by pixel.
void ExpectTiles(const std::string& dir, FIBITMAP* source, const std::string& base, int rows,
                 int cols, const std::string& extension) {
  const unsigned tileWidth = FreeImage_GetWidth(source) / static_cast<unsigned>(cols);
  const unsigned tileHeight = FreeImage_GetHeight(source) / static_cast<unsigned>(rows);
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      const std::string name = TileName(base, r, c, extension);
      EXPECT_TRUE(FileHoldsArea(dir + "/" + name, source, static_cast<unsigned>(c - 1) * tileWidth,
                                static_cast<unsigned>(r - 1) * tileHeight, tileWidth, tileHeight))
          << name;
    }
  }
}

TEST(GridCutE2ETest, TwoByThreeTilesCoverTheirRectanglesExactly) {
  // 100 x 50 in 2 rows and 3 columns: tiles of 33 x 25, pixel column 99 in none of them.
  const struct {
    std::string extension;
    Kind kind;
  } cases[] = {{".png", Kind::kRgb24},
               {".bmp", Kind::kRgb24},
               {".png", Kind::kRgba32},
               {".bmp", Kind::kGrey8}};
  for (const auto& [extension, kind] : cases) {
    SCOPED_TRACE(extension + " of kind " + std::to_string(static_cast<int>(kind)));
    TempDir dir;
    Picture made = MakePicture(kind, 100, 50);
    Picture source = Place(dir, made.get(), "photo" + extension);
    const std::string inputBytes = ReadBytes(dir / ("photo" + extension));

    ExpectSaveOutcome(RunIn(dir, {"-g", "2", "3", "photo" + extension}), "");
    Names expected = AllTiles("photo", 2, 3, extension);
    expected.push_back("photo" + extension);
    EXPECT_EQ(ListDir(dir.path()), SortedNames(expected));
    const unsigned corners[][2] = {{0, 0}, {33, 0}, {66, 0}, {0, 25}, {33, 25}, {66, 25}};
    for (int i = 0; i < 6; ++i) {
      const std::string name = TileName("photo", i / 3 + 1, i % 3 + 1, extension);
      EXPECT_TRUE(FileHoldsArea(dir / name, source.get(), corners[i][0], corners[i][1], 33, 25))
          << name;
      EXPECT_EQ(ShapeOf(dir / name).format, extension == ".png" ? FIF_PNG : FIF_BMP);
      if (extension == ".bmp") {
        // Byte for byte what the library writes for a copy of the area: the rows' padding holds
        // zeros, not the pixels beside the tile.
        TempDir reference;
        Picture area(FreeImage_Copy(
            source.get(), static_cast<int>(corners[i][0]), static_cast<int>(corners[i][1]),
            static_cast<int>(corners[i][0] + 33), static_cast<int>(corners[i][1] + 25)));
        ASSERT_TRUE(FreeImage_Save(FIF_BMP, area.get(), (reference / "area.bmp").c_str(), 0));
        EXPECT_EQ(ReadBytes(dir / name), ReadBytes(reference / "area.bmp")) << name;
      }
    }
    EXPECT_EQ(ReadBytes(dir / ("photo" + extension)), inputBytes);
  }
}

TEST(GridCutE2ETest, TileNamesKeepTheDirectoryAndTheExtensionAsTyped) {
  struct Case {
    std::string input;  // relative to the run's directory
    int rows, cols;
    std::string folder;  // where input and tiles are
    std::string base;
    std::string extension;
  };
  const Case cases[] = {
      {"pics/Photo.PNG", 1, 1, "pics", "Photo", ".PNG"},
      {"a.b.png", 1, 2, "", "a.b", ".png"},
      {"my.dir/x.bmp", 2, 1, "my.dir", "x", ".bmp"},
      {"./my.dir/x.Bmp", 1, 1, "my.dir", "x", ".Bmp"},
      {"wide.png", 1, 12, "", "wide", ".png"},
      {"tall.png", 101, 1, "", "tall", ".png"},  // -100- and -101- take three digits
      {"many.png", 10, 10, "", "many", ".png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    TempDir dir;
    const std::string folder = c.folder.empty() ? dir.path() : dir / c.folder;
    if (!c.folder.empty()) {
      ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    }
    Picture made = MakePicture(Kind::kRgb24, 2 * static_cast<unsigned>(c.cols) + 1,
                               2 * static_cast<unsigned>(c.rows) + 1);
    Picture source = Place(dir, made.get(), c.input);

    ExpectSaveOutcome(RunIn(dir, {"-g", std::to_string(c.rows), std::to_string(c.cols), c.input}),
                      "");
    Names expected = AllTiles(c.base, c.rows, c.cols, c.extension);
    expected.push_back(c.base + c.extension);
    EXPECT_EQ(ListDir(folder), SortedNames(expected));
    ExpectTiles(folder, source.get(), c.base, c.rows, c.cols, c.extension);
  }
}

TEST(GridCutE2ETest, JpegTilesAreJpegAndTakeTheQuality) {
  TempDir dir;
  Picture made = MakePicture(Kind::kRgb24, 64, 32);
  Place(dir, made.get(), "p.JPEG");
  ExpectSaveOutcome(RunIn(dir, {"-g", "1", "2", "p.JPEG"}), "");
  const std::string best = ReadBytes(dir / "p-01-01.JPEG");
  ExpectSaveOutcome(RunIn(dir, {"-oq", "10", "-g", "1", "2", "p.JPEG"}), "");
  const std::string poor = ReadBytes(dir / "p-01-01.JPEG");
  for (const char* name : {"p-01-01.JPEG", "p-01-02.JPEG"}) {
    FileShape shape = ShapeOf(dir / name);
    EXPECT_EQ(shape.format, FIF_JPEG) << name;
    EXPECT_EQ(shape.width, 32u) << name;
    EXPECT_EQ(shape.height, 32u) << name;
  }
  EXPECT_LT(poor.size(), best.size());
}

TEST(GridCutE2ETest, CountsBelowOneWriteNothingOnceTheInputIsRead) {
  struct Case {
    Names args;
    int exitCode;
    std::string message;  // of the warning box, empty when none
  };
  const Case cases[] = {
      {{"-g", "0", "3", "a.png"}, 0, ""},
      {{"-g", "2", "0", "a.png"}, 0, ""},
      {{"-g", "-1", "2", "a.png"}, 0, ""},
      {{"-g", "2", "-2147483648", "a.png"}, 0, ""},
      {{"-g", "two", "2", "a.png"}, 0, ""},
      {{"-g", "2", "x3", "a.png"}, 0, ""},
      {{"-g", "0", "0", "missing.png"}, 1, "Couldn't open input file: missing.png"},
      {{"-g", "0", "0", "a.gif"}, 1, "Input file: a.gif - must end in .jpg or .jpeg"},
      {{"-g", "2", "3", "missing.png"}, 1, "Couldn't open input file: missing.png"},
  };
  TempDir dir;
  Picture made = MakePicture(Kind::kRgb24, 30, 10);
  Place(dir, made.get(), "a.png");
  const std::string inputBytes = ReadBytes(dir / "a.png");
  for (const Case& c : cases) {
    SCOPED_TRACE(DescribeArgs(c.args));
    RunResult r = RunIn(dir, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.message.empty() ? "" : WarningBox(c.message));
    EXPECT_EQ(ListDir(dir.path()), Names{"a.png"});
    EXPECT_EQ(ReadBytes(dir / "a.png"), inputBytes);
  }
}

TEST(GridCutE2ETest, MoreTilesThanPixelsWriteNothingAndNameTheFirstTile) {
  const Names cases[] = {
      {"-g", "11", "1", "a.png"},
      {"-g", "1", "31", "a.png"},
      {"-g", "2147483647", "2147483647", "a.png"},
  };
  TempDir dir;
  Picture made = MakePicture(Kind::kRgb24, 30, 10);
  Place(dir, made.get(), "a.png");
  for (const Names& args : cases) {
    SCOPED_TRACE(DescribeArgs(args));
    RunResult r = RunIn(dir, args);
    ExpectSaveOutcome(r, "a-01-01.png");
    EXPECT_EQ(ListDir(dir.path()), Names{"a.png"});
  }
  // One pixel per tile is still a grid.
  ExpectSaveOutcome(RunIn(dir, {"-g", "10", "30", "a.png"}), "");
  EXPECT_EQ(ListDir(dir.path()).size(), 301u);
}

TEST(GridCutE2ETest, ATileThatCannotBeWrittenIsReportedAfterTheWholeGrid) {
  TempDir dir;
  Picture made = MakePicture(Kind::kRgb24, 30, 20);
  Picture source = Place(dir, made.get(), "a.png");
  // Directories in the way of two tiles: the first of them in grid order is named.
  ASSERT_EQ(mkdir((dir / "a-02-01.png").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "a-01-03.png").c_str(), 0755), 0);

  RunResult r = RunIn(dir, {"-g", "2", "3", "a.png"});
  ExpectSaveOutcome(r, "a-01-03.png");
  Names expected = AllTiles("a", 2, 3, ".png");
  expected.push_back("a.png");
  EXPECT_EQ(ListDir(dir.path()), SortedNames(expected));  // no temporary file is left
  for (const char* written : {"a-01-01.png", "a-01-02.png", "a-02-02.png", "a-02-03.png"}) {
    EXPECT_TRUE(ShapeOf(dir / written).readable) << written;
  }
  EXPECT_TRUE(ListDir(dir / "a-01-03.png").empty());
}

TEST(GridCutE2ETest, LongNamesAreNeverCut) {
  TempDir dir;
  Picture made = MakePicture(Kind::kRgb24, 4, 4);
  // A path of about 620 bytes in folders of 200: every tile name is longer than 512 bytes.
  const std::string folder =
      std::string(200, 'd') + "/" + std::string(200, 'e') + "/" + std::string(200, 'f');
  std::string madeSoFar = dir.path();
  for (const char part : {'d', 'e', 'f'}) {
    madeSoFar += "/" + std::string(200, part);
    ASSERT_EQ(mkdir(madeSoFar.c_str(), 0755), 0);
  }
  Picture source = Place(dir, made.get(), folder + "/photo.png");
  ExpectSaveOutcome(RunIn(dir, {"-g", "2", "2", folder + "/photo.png"}), "");
  Names expected = AllTiles("photo", 2, 2, ".png");
  expected.push_back("photo.png");
  EXPECT_EQ(ListDir(dir / folder), SortedNames(expected));
  ExpectTiles(dir / folder, source.get(), "photo", 2, 2, ".png");

  // A file name the file system refuses (more than 255 bytes) is a failed save, reported whole
  // up to the message's limit.
  const std::string longBase = std::string(248, 'n');
  Place(dir, made.get(), longBase + ".png");
  RunResult r = RunIn(dir, {"-g", "1", "1", longBase + ".png"});
  ExpectSaveOutcome(r, longBase + "-01-01.png");
  EXPECT_EQ(ListDir(dir.path()), SortedNames({std::string(200, 'd'), longBase + ".png"}));
}

TEST(GridCutE2ETest, AFiftyByFiftyGridWritesEveryTile) {
  TempDir dir;
  Picture made = MakePicture(Kind::kRgb24, 101, 151);
  Picture source = Place(dir, made.get(), "big.png");
  ExpectSaveOutcome(RunIn(dir, {"-g", "50", "50", "big.png"}), "");
  Names expected = AllTiles("big", 50, 50, ".png");
  expected.push_back("big.png");
  EXPECT_EQ(ListDir(dir.path()), SortedNames(expected));
  ExpectTiles(dir.path(), source.get(), "big", 50, 50, ".png");
}

}  // namespace
}  // namespace testing_support
