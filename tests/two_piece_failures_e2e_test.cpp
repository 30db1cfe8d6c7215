// The two-piece cut run for real where it fails: inputs refused by name or content, messages
// cut to length, saves the file system refuses, and pieces left without a picture.
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
// Saves that fail: a file that cannot be written completely never replaces anything, an empty
// or out-of-picture piece is never saved, and both are reported after every piece was tried.

struct FailureCase {
  Names args;
  long long fileSizeLimit;  // -1: none
  Names markers;            // files that exist before the run, with text of their own
  std::string notWritten;   // the name in "Couldn't save file: %s"; empty when all went well
  std::vector<WrittenPiece> written;
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
    for (const WrittenPiece& piece : c.written) {
      ExpectWritten(dir, source.get(), piece);
    }
    for (const std::string& marker : c.markers) {
      bool rewritten = false;
      for (const WrittenPiece& piece : c.written) {
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
    std::vector<WrittenPiece> written;
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
    for (const WrittenPiece& piece : c.written) {
      ExpectWritten(dir, source.get(), piece);
    }
  }
}

}  // namespace
}  // namespace testing_support
