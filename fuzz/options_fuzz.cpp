// Reading arbitrary tokens into a command. Nothing is run: the command is only checked against
// what its tokens allow.
#include <cstring>
#include <memory>
#include <vector>

#include "cutter/numbers.h"
#include "frontend/dispatch.h"
#include "fuzz/fuzz_check.h"
#include "util/ascii_case.h"

namespace {

bool IsOptionWord(const char* token) {
  for (const char* word : {"-w", "-h", "-g", "-oq"}) {
    if (CompareIgnoringCase(token, word) == 0) {
      return true;
    }
  }
  return false;
}

// The position of `text` among the tokens after the program's path, or -1.
int PositionOf(const char* text, const std::vector<char*>& tokens) {
  for (size_t i = 1; i < tokens.size(); ++i) {
    if (tokens[i] == text) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Tokens are the input's pieces between zero bytes, after the program's path.
  std::vector<std::unique_ptr<fuzz::Text>> pieces;
  pieces.push_back(std::make_unique<fuzz::Text>(reinterpret_cast<const uint8_t*>("dolvane"), 7));
  size_t at = 0;
  while (at < size && pieces.size() < 64) {
    pieces.push_back(std::make_unique<fuzz::Text>(data + at, size - at));
    at += pieces.back()->length() + 1;
  }
  std::vector<char*> tokens;
  for (const auto& piece : pieces) {
    tokens.push_back(piece->get());
  }
  const int count = static_cast<int>(tokens.size());

  const Command command = ParseCommandLine(count, tokens.data());
  FUZZ_CHECK(command.nameCount >= 0 && command.nameCount <= 3);

  const bool about = IsAboutRequest(count, tokens.data());
  FUZZ_CHECK(about == (count == 2 && std::strcmp(tokens[1], "-?") == 0));

  if (command.kind == CommandKind::kUsage) {
    return 0;
  }
  // Every name is a token of the line, in line order, and never an option word; every value is
  // the token right after an option word.
  int previous = 0;
  for (int i = 0; i < command.nameCount; ++i) {
    const int position = PositionOf(command.names[i], tokens);
    FUZZ_CHECK(position > previous);
    FUZZ_CHECK(!IsOptionWord(command.names[i]));
    previous = position;
  }
  for (int i = command.nameCount; i < 3; ++i) {
    FUZZ_CHECK(command.names[i] == nullptr);
  }
  switch (command.kind) {
    case CommandKind::kWide:
    case CommandKind::kHigh: {
      FUZZ_CHECK(command.nameCount >= 1);
      const int position = PositionOf(command.sizeText, tokens);
      FUZZ_CHECK(position >= 2);
      const char* option = tokens[static_cast<size_t>(position - 1)];
      FUZZ_CHECK(CompareIgnoringCase(option, command.kind == CommandKind::kWide ? "-w" : "-h") ==
                 0);
      break;
    }
    case CommandKind::kGrid: {
      FUZZ_CHECK(command.nameCount == 1);
      FUZZ_CHECK(command.sizeText == nullptr || PositionOf(command.sizeText, tokens) >= 2);
      // Some -g word on the line gave both numbers.
      bool found = false;
      for (int i = 1; i + 2 < count && !found; ++i) {
        found = CompareIgnoringCase(tokens[static_cast<size_t>(i)], "-g") == 0 &&
                ReadInteger(tokens[static_cast<size_t>(i + 1)]) == command.rows &&
                ReadInteger(tokens[static_cast<size_t>(i + 2)]) == command.cols;
      }
      FUZZ_CHECK(found);
      break;
    }
    case CommandKind::kUsage:
      break;
  }
  // The quality is the default or the number after some -oq word.
  bool quality = command.quality == 100;
  for (int i = 1; i + 1 < count && !quality; ++i) {
    quality = CompareIgnoringCase(tokens[static_cast<size_t>(i)], "-oq") == 0 &&
              ReadInteger(tokens[static_cast<size_t>(i + 1)]) == command.quality;
  }
  FUZZ_CHECK(quality);
  return 0;
}
