// The text and path routines on arbitrary bytes, each result checked against the same work
// done with std::string. StrCpyN gets only limits it accepts: a longer source ends the process
// by design.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "util/strings_and_paths.h"

namespace {

// A small number, negative ones included, from one byte.
int Small(uint8_t byte) {
  return static_cast<int>(byte) - 16;
}

std::string TrimSpaces(std::string text) {
  while (!text.empty() && text.back() == ' ') {
    text.pop_back();
  }
  return text;
}

// The separator the path routines split at, as a position; npos when there is none.
size_t SeparatorAt(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash != std::string::npos ? slash : path.rfind('\\');
}

struct OwnedText {
  void operator()(char* text) const { delete[] text; }
};
using Owned = std::unique_ptr<char[], OwnedText>;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) {
    return 0;
  }
  const int start = Small(data[0]);
  const int count = Small(data[1]);
  const int width = Small(data[2]);
  const fuzz::Text input(data + 3, size - 3);
  const std::string text(input.get());

  Owned copy(StrDup(input.get()));
  FUZZ_CHECK(text == copy.get());

  {
    const size_t room = text.size() + static_cast<size_t>(data[0] % 4);
    std::unique_ptr<char[]> destination(new char[room + 1]);
    FUZZ_CHECK(StrCpyN(destination.get(), input.get(), static_cast<int>(room)) ==
               destination.get());
    FUZZ_CHECK(text == destination.get());
  }

  {
    char* slot = StrDup("old");
    StrAssign(&slot, input.get());
    FUZZ_CHECK(text == slot);
    // From inside the slot's own text.
    const size_t from = text.empty() ? 0 : static_cast<size_t>(data[1]) % text.size();
    StrAssign(&slot, slot + from);
    FUZZ_CHECK(text.substr(from) == slot);
    delete[] slot;
  }

  {
    Owned line(StrDup(input.get()));
    StrTrimNewline(line.get());
    std::string expected = text;
    if (!expected.empty() && expected.back() == '\n') {
      expected.pop_back();
    }
    FUZZ_CHECK(expected == line.get());
  }

  {
    const size_t blanks = text.find_first_not_of(" \t");
    const char* skipped = StrSkipBlanks(input.get());
    FUZZ_CHECK(skipped == input.get() + (blanks == std::string::npos ? text.size() : blanks));
    FUZZ_CHECK(StrIsBlank(input.get()) == (blanks == std::string::npos ? 1 : 0));
  }

  {
    Owned trimmed(StrDup(input.get()));
    StrTrimRight(trimmed.get());
    FUZZ_CHECK(TrimSpaces(text) == trimmed.get());
  }

  {
    std::unique_ptr<char[]> column(new char[count > 0 ? static_cast<size_t>(count) + 1 : 1]);
    FUZZ_CHECK(StrMid(column.get(), input.get(), start, count) == column.get());
    const size_t from = start > 0 ? static_cast<size_t>(start) : 0;
    std::string expected;
    if (count > 0 && from <= text.size()) {
      expected = TrimSpaces(text.substr(from, static_cast<size_t>(count)));
    }
    FUZZ_CHECK(expected == column.get());
  }

  {
    std::unique_ptr<char[]> padded(new char[width > 0 ? static_cast<size_t>(width) + 1 : 1]);
    FUZZ_CHECK(StrPad(padded.get(), input.get(), width) == padded.get());
    std::string expected;
    if (width >= 0) {
      expected = text.substr(0, static_cast<size_t>(width));
      expected.resize(static_cast<size_t>(width), ' ');
    }
    FUZZ_CHECK(expected == padded.get());
  }

  FUZZ_CHECK(StrIsQuoted(input.get()) ==
             (!text.empty() && text.front() == '"' && text.back() == '"' ? 1 : 0));

  const size_t separator = SeparatorAt(text);
  const size_t nameAt = separator == std::string::npos ? 0 : separator + 1;
  FUZZ_CHECK(PathFileName(input.get()) == input.get() + nameAt);

  {
    const char* extension = PathExtension(input.get());
    const size_t dot = text.rfind('.');
    if (dot != std::string::npos && dot >= nameAt) {
      FUZZ_CHECK(extension == input.get() + dot);
    } else {
      FUZZ_CHECK(*extension == '\0');
      FUZZ_CHECK(extension < input.get() || extension > input.get() + text.size());
    }
  }

  {
    Owned path(StrDup(input.get()));
    const char* directory = PathStripName(path.get());
    if (separator == std::string::npos) {
      FUZZ_CHECK(*directory == '\0' && directory != path.get());
      FUZZ_CHECK(text == path.get());
    } else {
      FUZZ_CHECK(directory == path.get());
      FUZZ_CHECK(text.substr(0, separator) == path.get());
    }
  }

  {
    Owned directory(PathDupDir(input.get()));
    size_t end = text.rfind('\\');
    if (end == std::string::npos) {
      end = text.rfind(':');
    }
    const std::string expected = end == std::string::npos ? "" : text.substr(0, end + 1);
    FUZZ_CHECK(expected == directory.get());
  }
  return 0;
}
