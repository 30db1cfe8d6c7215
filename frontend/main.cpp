// Entry: one command line, one command, one exit code.
#include "frontend/main.h"

#include "cutter/pictures/picture_library.h"
#include "frontend/command_line.h"
#include "frontend/dispatch.h"
#include "util/messages.h"

namespace {
constexpr int kMaxTokens = 50;
}

int ProgramMain(const char* commandLine) {
  // Static, so that it is ended on every way out, the fatal errors' exit included.
  static PictureLibrary pictureLibrary;
  if (commandLine == nullptr) {
    FatalMessageF("out of memory");
  }
  // The token list lives until the process ends, right after the command.
  static char* tokens[kMaxTokens + 1];
  int count = SplitCommandLine(commandLine, kMaxTokens, tokens);
  if (IsAboutRequest(count, tokens)) {
    ShowAbout();
  }
  return RunCommandLine(count, tokens);
}
