// Reading the tokens of a command line into one command, and running it.
#include "frontend/dispatch.h"

#include <cstdio>
#include <cstring>

#include "cutter/grid_cut.h"
#include "cutter/numbers.h"
#include "cutter/two_piece_cut.h"
#include "platform/platform.h"
#include "util/ascii_case.h"
#include "util/messages.h"

const char kUsageText[] =
    "Usage:\n"
    "1. Dolvane {-w|-h} size filename.jpg [out.jpg [rest.jpg]]\n"
    "2. Dolvane -g rows cols filename.jpg\n"
    "\n"
    "1. Cut to size wide or high.\n"
    "size is pixels unless it ends with %, in, cm or mm.\n"
    "filename.jpg will be the left or top bit.\n"
    "Or that will be in out.jpg with the rest in rest.jpg.\n"
    "\n"
    "2. Cut into rows and columns.\n"
    "Output will be in filename-rr-cc.jpg\n"
    "where rr is the row number (01..) and cc is the column number (01..)\n"
    "\n"
    "This software uses the FreeImage open source image library. See "
    "https://freeimage.sourceforge.io for details.\n"
    "FreeImage is used under the FIPL, version 1.0.\n";

namespace {

enum class Option { kWide, kHigh, kGrid, kQuality, kNone };

// Table order decides the first match.
constexpr struct {
  const char* word;
  Option option;
} kOptions[] = {
    {"-w", Option::kWide},
    {"-h", Option::kHigh},
    {"-g", Option::kGrid},
    {"-oq", Option::kQuality},
};

Option FindOption(const char* token) {
  for (const auto& entry : kOptions) {
    if (CompareIgnoringCase(token, entry.word) == 0) {
      return entry.option;
    }
  }
  return Option::kNone;
}

const char* AboutText() {
  // __DATE__ reads "Dec  7 2026": month, day in two places, year; fixed when this file is built.
  static const char kAbout[] =
      "Dolvane picture cutter, by Morvick.\n"
      "\n"
      "Build date: " __DATE__
      "\n"
      "Build time: " __TIME__ "\n";
  return kAbout;
}

}  // namespace

Command ParseCommandLine(int count, char* const* tokens) {
  Command usage;
  Command command;
  CommandKind mode = CommandKind::kUsage;  // the last mode option's, while none has come
  if (count < 2) {
    return usage;
  }
  for (int i = 1; i < count;) {
    Option option = FindOption(tokens[i]);
    int values = (option == Option::kGrid) ? 2 : (option == Option::kNone ? 0 : 1);
    if (values > count - 1 - i) {
      return usage;  // the option stands last, without its value(s)
    }
    switch (option) {
      case Option::kWide:
      case Option::kHigh:
        mode = (option == Option::kWide) ? CommandKind::kWide : CommandKind::kHigh;
        command.sizeText = tokens[i + 1];
        break;
      case Option::kGrid:
        mode = CommandKind::kGrid;
        command.rows = ReadInteger(tokens[i + 1]);
        command.cols = ReadInteger(tokens[i + 2]);
        break;
      case Option::kQuality:
        command.quality = ReadInteger(tokens[i + 1]);
        break;
      case Option::kNone:
        if (command.nameCount == 3) {
          return usage;
        }
        command.names[command.nameCount++] = tokens[i];
        break;
    }
    i += 1 + values;
  }
  // A two-piece cut takes one to three names, a grid exactly one.
  const bool runnable =
      (mode == CommandKind::kGrid) ? command.nameCount == 1 : command.nameCount >= 1;
  if (mode == CommandKind::kUsage || !runnable) {
    return usage;
  }
  command.kind = mode;
  return command;
}

bool IsAboutRequest(int count, char* const* tokens) {
  return count == 2 && std::strcmp(tokens[1], "-?") == 0;
}

int RunCommandLine(int count, char** tokens) {
  Command command = ParseCommandLine(count, tokens);
  int result = kWrongNameCount;
  switch (command.kind) {
    case CommandKind::kWide:
      result = CutWide(command.nameCount, command.names, command.sizeText, command.quality);
      break;
    case CommandKind::kHigh:
      result = CutHigh(command.nameCount, command.names, command.sizeText, command.quality);
      break;
    case CommandKind::kGrid:
      return CutGrid(command.names[0], command.rows, command.cols, command.quality);
    case CommandKind::kUsage:
      break;
  }
  if (result != kWrongNameCount) {
    return result;
  }
  ShowUsage();
}

void ShowAbout() {
  ShowMessage(AboutText());
  platform::ExitProcess(0);
}

void ShowUsage() {
  ShowMessage(kUsageText);
  platform::ExitProcess(1);
}
