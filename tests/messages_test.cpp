#include "util/messages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What ShowMessageF prints for a %s of `value`, without the caption line and the final line feed.
std::string ShownText(const std::string& value) {
  testing::internal::CaptureStdout();
  ShowMessageF("%s", value.c_str());
  std::string out = testing::internal::GetCapturedStdout();
  std::string caption = std::string(GetAppTitle()) + "\n";
  EXPECT_EQ(out.compare(0, caption.size(), caption), 0) << out;
  EXPECT_EQ(out.back(), '\n');
  return out.substr(caption.size(), out.size() - caption.size() - 1);
}

TEST(ShowMessageF, CutsLongTextsAt500) {
  struct Case {
    size_t length;
    size_t shown;
    bool marked;
  } cases[] = {
      {0, 0, false},    {1, 1, false},    {498, 498, false}, {499, 499, false},
      {500, 500, true}, {501, 500, true}, {5000, 500, true},
  };
  for (const Case& c : cases) {
    std::string value(c.length, 'x');
    std::string shown = ShownText(value);
    EXPECT_EQ(shown.size(), c.shown) << c.length;
    if (c.marked) {
      EXPECT_EQ(shown, std::string(496, 'x') + " ...") << c.length;
    } else {
      EXPECT_EQ(shown, value);
    }
  }
  // A cut never splits a UTF-8 character: one that would be split is left out whole.
  for (auto [before, kept] : {std::pair{493, "写"}, {494, ""}, {495, ""}, {496, ""}}) {
    EXPECT_EQ(ShownText(std::string(before, 'x') + "写真写真"),
              std::string(before, 'x') + kept + " ...")
        << before;
  }
}

TEST(ShowMessage, NeverCuts) {
  std::string text(2000, 'y');
  testing::internal::CaptureStdout();
  EXPECT_EQ(ShowMessage(text.c_str()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            std::string(GetAppTitle()) + "\n" + text + "\n");
}

TEST(ShowMessage, AddsNoSecondLineFeed) {
  testing::internal::CaptureStdout();
  ShowMessage("two\nlines\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Morvick Dolvane Ver 1.01\ntwo\nlines\n");
}

TEST(FatalMessageF, WarnsOnStandardErrorAndExitsWithOne) {
  EXPECT_EXIT(FatalMessageF("out of memory"), testing::ExitedWithCode(1),
              "^Morvick Dolvane Ver 1\\.01\nout of memory\n$");
  EXPECT_EXIT(FatalMessageF("Couldn't open input file: %s", std::string(600, 'n').c_str()),
              testing::ExitedWithCode(1), "input file: n{470} \\.\\.\\.\n$");
  EXPECT_EXIT(FatalMessage(""), testing::ExitedWithCode(1), "^Morvick Dolvane Ver 1\\.01\n\n$");
}

}  // namespace
