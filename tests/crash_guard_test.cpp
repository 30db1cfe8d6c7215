// A crash inside a guarded call ends the process with the prepared message, never with a signal.
#include <csignal>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/temp_files.h"
#include "util/messages.h"

namespace {

volatile int gDepth = 0;

int Recurse(int n) {
  volatile char frame[1024];
  frame[0] = static_cast<char>(n);
  gDepth = gDepth + 1;
  // Ends only when the stack does: the depth never turns negative.
  return gDepth > 0 ? Recurse(n + 1) + frame[0] : 0;
}

void WriteThroughNull() {
  volatile int* nowhere = nullptr;
  *nowhere = 1;
}

struct Crash {
  const char* what;
  void (*crash)();
  // The undefined-behaviour sanitizer stops it before any signal is raised.
  bool undefined = false;
};

const Crash kCrashes[] = {
    {"SIGSEGV", [] { std::raise(SIGSEGV); }}, {"SIGBUS", [] { std::raise(SIGBUS); }},
    {"SIGFPE", [] { std::raise(SIGFPE); }},   {"SIGILL", [] { std::raise(SIGILL); }},
    {"abort", [] { std::abort(); }},          {"write through null", WriteThroughNull, true},
    {"stack overflow", [] { Recurse(0); }},
};

TEST(FatalOnCrash, EveryCrashEndsInTheMessageAndRemovesThePendingFile) {
  testing_support::TempDir dir;
  const std::string target = dir / "piece.png";
  std::string leftOut;
  for (const Crash& c : kCrashes) {
    if (DOLVANE_SANITIZED && c.undefined) {
      leftOut += std::string(" ") + c.what;
      continue;
    }
    EXPECT_EXIT(
        {
          platform::ReplacementFile file;
          if (!file.Open(target.c_str())) {
            std::exit(3);
          }
          FatalOnCrash guard("Couldn't save file: %s", "piece.png");
          c.crash();
        },
        testing::ExitedWithCode(1),
        "^Morvick Dolvane Ver 1\\.01\nCouldn't save file: piece\\.png\n$")
        << c.what;
    EXPECT_EQ(testing_support::ListDir(dir.path()), std::vector<std::string>{}) << c.what;
  }
  if (!leftOut.empty()) {
    GTEST_SKIP() << "under the sanitizers, crashes they report first are not run:" << leftOut;
  }
}

TEST(FatalOnCrash, AfterTheGuardACrashIsACrashAgain) {
  if (DOLVANE_SANITIZED) {
    GTEST_SKIP() << "under AddressSanitizer the handler before the guard is its own, which ends "
                    "the process with a report instead of the signal";
  }
  EXPECT_EXIT(
      {
        { FatalOnCrash guard("not shown"); }
        std::raise(SIGSEGV);
      },
      testing::KilledBySignal(SIGSEGV), "");
}

}  // namespace
