// Reading the tokens of a command line into one command, and running it.
#pragma once

#include <cstdint>

enum class CommandKind { kUsage, kWide, kHigh, kGrid };

// A command line read into plain values. Texts point into the token list; nothing is copied.
struct Command {
  CommandKind kind = CommandKind::kUsage;  // kUsage: the line cannot be run
  const char* sizeText = nullptr;          // -w, -h
  int32_t rows = 0;                        // -g
  int32_t cols = 0;                        // -g
  int32_t quality = 100;                   // -oq, handed to every save as its flags
  int nameCount = 0;
  const char* names[3] = {nullptr, nullptr, nullptr};
};

// Reads `count` tokens (token 0, the program's path, is skipped). Options are "-w", "-h", "-g"
// and "-oq" in any letter case; the token after an option is its value whatever it holds, and
// later options overwrite earlier ones. Every other token is a file name. The kind is kUsage
// for no argument, no mode option, a fourth file name, -w or -h without a file name, -g without
// exactly one file name, and an option that lacks its value(s) at the end of the line.
Command ParseCommandLine(int count, char* const* tokens);

// True when the tokens are the program's path and exactly "-?".
bool IsAboutRequest(int count, char* const* tokens);

// Runs the command of the tokens and returns its result, or shows the usage box.
int RunCommandLine(int count, char** tokens);

// The about box, then exit code 0.
[[noreturn]] void ShowAbout();

// The usage box, then exit code 1.
[[noreturn]] void ShowUsage();

// The usage box's text, whole.
extern const char kUsageText[];
