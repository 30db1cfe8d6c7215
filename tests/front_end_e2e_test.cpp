// The command front end as a user meets it: the real program, its boxes on the console, its exit
// codes, and which command a command line turns into.
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frontend/dispatch.h"
#include "support/e2e_helpers.h"
#include "support/pictures.h"
#include "support/run_program.h"

namespace testing_support {
namespace {

using Args = std::vector<std::string>;

constexpr unsigned kWidth = 40;
constexpr unsigned kHeight = 30;

// A working directory holding a.png, a small picture every command line can cut.
class FrontEndE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_ = MakePicture(Kind::kRgb24, kWidth, kHeight);
    ASSERT_TRUE(source_);
    WritePicture(source_.get(), dir_ / "a.png");
    sourceBytes_ = ReadBytes(dir_ / "a.png");
    ASSERT_FALSE(sourceBytes_.empty());
  }

  RunResult Run(const Args& args) { return RunDolvane(args, RunOptions{dir_.path()}); }

  TempDir dir_;
  Picture source_;
  std::string sourceBytes_;
};

TEST_F(FrontEndE2ETest, NoArgumentShowsTheWholeUsageText) {
  RunResult r = Run({});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, InfoBox(kUsageText));
  EXPECT_EQ(r.err, "");
  // The usage text is longer than a formatted message may be, and must not be cut.
  EXPECT_GT(r.out.size(), 500u);
  EXPECT_EQ(r.out.find(" ...\n"), std::string::npos);
}

TEST_F(FrontEndE2ETest, UsageTextIsWordForWord) {
  // Written out here rather than taken from the program, so a slip in either shows. Only the
  // library's web address is free.
  const std::regex usage(
      "Morvick Dolvane Ver 1\\.01\n"
      "Usage:\n"
      "1\\. Dolvane \\{-w\\|-h\\} size filename\\.jpg \\[out\\.jpg \\[rest\\.jpg\\]\\]\n"
      "2\\. Dolvane -g rows cols filename\\.jpg\n"
      "\n"
      "1\\. Cut to size wide or high\\.\n"
      "size is pixels unless it ends with %, in, cm or mm\\.\n"
      "filename\\.jpg will be the left or top bit\\.\n"
      "Or that will be in out\\.jpg with the rest in rest\\.jpg\\.\n"
      "\n"
      "2\\. Cut into rows and columns\\.\n"
      "Output will be in filename-rr-cc\\.jpg\n"
      "where rr is the row number \\(01\\.\\.\\) and cc is the column number \\(01\\.\\.\\)\n"
      "\n"
      "This software uses the FreeImage open source image library\\. See [^ \n]+ for details\\.\n"
      "FreeImage is used under the FIPL, version 1\\.0\\.\n");
  RunResult r = Run({});
  EXPECT_TRUE(std::regex_match(r.out, usage)) << r.out;
}

TEST_F(FrontEndE2ETest, LoneQuestionMarkShowsTheAboutBox) {
  RunResult r = Run({"-?"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  // Caption, then four lines: a notice, a blank line, the build date and the build time.
  const std::regex about(
      "Morvick Dolvane Ver 1\\.01\n"
      "[^\n]+\n"
      "\n"
      "Build date: (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
      "( [1-9]|[12][0-9]|3[01]) [0-9]{4}\n"
      "Build time: ([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\n");
  EXPECT_TRUE(std::regex_match(r.out, about)) << r.out;
  EXPECT_EQ(ListDir(dir_.path()), Args{"a.png"});
}

TEST_F(FrontEndE2ETest, LinesThatCannotBeRunShowUsageAndTouchNothing) {
  const Args cases[] = {
      {"-?", "a.png"},  // -? among other arguments is a file name, and there is no mode
      {"a.png", "-?"},
      {"-?x"},
      {"-?", ""},  // an empty argument is still an argument
      {"-?-"},
      {"?"},
      {"a.png"},
      {"-oq", "50", "a.png"},
      {"-x", "a.png"},
      {"--w", "10", "a.png"},
      {"-w", "100"},
      {"-H", "100"},
      {"-w", "100", "-oq", "5"},
      {"-g", "2", "3", "a.png", "b.png"},
      {"-g", "2", "3", "a.png", "b.png", "c.png"},
      {"-g", "2", "3"},
      {"-w", "100", "a.png", "b.png", "c.png", "d.png"},
      {"a.png", "b.png", "c.png", "d.png", "-w", "100"},
      {"a.png", "-w"},
      {"a.png", "b.png", "-h"},
      {"a.png", "-g", "2"},
      {"a.png", "-g"},
      {"-w", "10", "a.png", "-oq"},
      {"-w", "10", "a.png", "-OQ"},
      {"-oq"},
  };
  for (const Args& args : cases) {
    SCOPED_TRACE(DescribeArgs(args));
    RunResult r = Run(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, InfoBox(kUsageText));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ListDir(dir_.path()), Args{"a.png"});
    EXPECT_EQ(ReadBytes(dir_ / "a.png"), sourceBytes_);
  }
}

// Which cut a command line turns into shows in the one piece it writes to o.png.
struct DispatchCase {
  Args args;
  unsigned width;
  unsigned height;
};

TEST_F(FrontEndE2ETest, OptionsIgnoreCaseAndLaterOnesWin) {
  const DispatchCase cases[] = {
      {{"-w", "10", "a.png", "o.png"}, 10, kHeight},
      {{"-W", "10", "a.png", "o.png"}, 10, kHeight},
      {{"-h", "10", "a.png", "o.png"}, kWidth, 10},
      {{"-H", "10", "a.png", "o.png"}, kWidth, 10},
      {{"-w", "10", "-h", "20", "a.png", "o.png"}, kWidth, 20},
      {{"-h", "5", "-w", "10", "a.png", "o.png"}, 10, kHeight},
      {{"-g", "2", "2", "-w", "10", "a.png", "o.png"}, 10, kHeight},
      {{"-w", "10", "-W", "25", "a.png", "o.png"}, 25, kHeight},
      // File names may stand before, between and after the options.
      {{"a.png", "-w", "10", "o.png"}, 10, kHeight},
      {{"a.png", "o.png", "-h", "7"}, kWidth, 7},
      {{"-OQ", "90", "a.png", "-w", "12", "-Oq", "80", "o.png"}, 12, kHeight},
      // The token after an option is its value whatever it holds: -oq takes "-w", not a mode.
      {{"-h", "3", "-w", "10", "a.png", "o.png", "-oq", "-w"}, 10, kHeight},
  };
  for (const DispatchCase& c : cases) {
    SCOPED_TRACE(DescribeArgs(c.args));
    ExpectSaveOutcome(Run(c.args), "");
    EXPECT_EQ(ListDir(dir_.path()), SortedNames({"a.png", "o.png"}));
    EXPECT_TRUE(FileHoldsArea(dir_ / "o.png", source_.get(), 0, 0, c.width, c.height));
    EXPECT_EQ(ReadBytes(dir_ / "a.png"), sourceBytes_);
    std::remove((dir_ / "o.png").c_str());
  }
}

TEST_F(FrontEndE2ETest, OptionValueIsTakenEvenWhenItLooksLikeAnOption) {
  // -w's size is "-h", which reads as 0 pixels: an empty first piece, so a.png is not written.
  // Were -h taken as an option, a.png would be its value and the line would have no file name.
  RunResult r = Run({"-w", "-h", "a.png"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, WarningBox("Couldn't save file: a.png"));
  EXPECT_EQ(ReadBytes(dir_ / "a.png"), sourceBytes_);
  EXPECT_EQ(ListDir(dir_.path()), Args{"a.png"});
}

TEST_F(FrontEndE2ETest, QuestionMarkAmongOtherArgumentsIsAFileName) {
  RunResult r = Run({"-w", "10", "-?", "a.png"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, WarningBox("Input file: -? - must end in .jpg or .jpeg"));
  EXPECT_EQ(ListDir(dir_.path()), Args{"a.png"});
}

TEST_F(FrontEndE2ETest, QualityOptionIgnoresCaseAndTheLastOneWins) {
  auto jpegFor = [&](const Args& quality) {
    Args args = quality;
    for (const char* a : {"-w", "20", "a.png", "o.jpg"}) {
      args.push_back(a);
    }
    RunResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << DescribeArgs(args);
    EXPECT_EQ(r.out + r.err, "") << DescribeArgs(args);
    std::string bytes = ReadBytes(dir_ / "o.jpg");
    std::remove((dir_ / "o.jpg").c_str());
    return bytes;
  };
  const std::string byDefault = jpegFor({});
  const std::string low = jpegFor({"-oq", "10"});
  ASSERT_FALSE(byDefault.empty());
  ASSERT_FALSE(low.empty());
  EXPECT_NE(low, byDefault);
  EXPECT_EQ(jpegFor({"-OQ", "10"}), low);
  EXPECT_EQ(jpegFor({"-Oq", "10"}), low);
  EXPECT_EQ(jpegFor({"-oq", "100"}), byDefault);  // 100 is the default
  EXPECT_EQ(jpegFor({"-oq", "10", "-oq", "100"}), byDefault);
  EXPECT_EQ(jpegFor({"-oq", "100", "-OQ", "10"}), low);
  EXPECT_EQ(ListDir(dir_.path()), Args{"a.png"});
}

TEST_F(FrontEndE2ETest, OnlyTheFirstFiftyTokensAreSeen) {
  // The program's path and 49 arguments: 23 quality options, then -w 10 a.png. The three names
  // after them would be a fourth file name, and the usage box, if they were seen.
  Args args;
  for (int i = 0; i < 23; ++i) {
    args.push_back("-oq");
    args.push_back("100");
  }
  for (const char* a : {"-w", "10", "a.png", "b.png", "c.png", "d.png"}) {
    args.push_back(a);
  }
  ExpectSaveOutcome(Run(args), "");
  EXPECT_EQ(ListDir(dir_.path()), Args{"a.png"});
  EXPECT_TRUE(FileHoldsArea(dir_ / "a.png", source_.get(), 0, 0, 10, kHeight));
}

TEST_F(FrontEndE2ETest, AwkwardFileNamesArriveIntact) {
  const std::string input = "my \"odd\" pic \xc3\xa9.png";
  const std::string left = "\"left\" \xe9\xff.png";  // bytes that are no UTF-8 at all
  const std::string rest = "rest\t\"\"\nend .bmp";
  ASSERT_EQ(std::rename((dir_ / "a.png").c_str(), (dir_ / input).c_str()), 0);
  ExpectSaveOutcome(Run({"-w", "15", input, left, rest}), "");
  EXPECT_EQ(ListDir(dir_.path()), SortedNames({input, left, rest}));
  EXPECT_TRUE(FileHoldsArea(dir_ / left, source_.get(), 0, 0, 15, kHeight));
  EXPECT_TRUE(FileHoldsArea(dir_ / rest, source_.get(), 15, 0, kWidth - 15, kHeight));
  EXPECT_EQ(ReadBytes(dir_ / input), sourceBytes_);
}

TEST_F(FrontEndE2ETest, AwkwardNamesAppearIntactInMessages) {
  const std::string missing = " \"gone\"\t\xc3\xa9 .png";
  RunResult r = Run({"-w", "10", missing});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, WarningBox("Couldn't open input file: " + missing));

  // An empty argument is a file name too, and one without an accepted extension.
  r = Run({"-w", "10", "a.png", ""});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, WarningBox("Save: file () - must end in .jpg, .jpeg or .bmp"));
  EXPECT_EQ(ListDir(dir_.path()), Args{"a.png"});
}

}  // namespace
}  // namespace testing_support
