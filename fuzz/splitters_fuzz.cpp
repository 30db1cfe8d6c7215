// The in-place splitters and the argument-list editors on arbitrary text. The fields must lie
// inside the text, in order and apart, and say what the text said; the editors must do to the
// list what erasing from a copy of it does.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "util/argument_lists.h"
#include "util/ascii_case.h"

namespace {

using Splitter = int (*)(char separator, char* text, int max, char** fields);

int SplitWordsWith(char, char* text, int max, char** fields) {
  return SplitWords(text, max, fields);
}

// Runs one splitter on a fresh copy of `input` and checks the fields it gives.
void CheckSplitter(Splitter split, char separator, const fuzz::Text& input, int max,
                   bool keepsQuotes) {
  const size_t length = input.length();
  std::unique_ptr<char[]> text(new char[length + 1]);
  std::memcpy(text.get(), input.get(), length + 1);
  std::vector<char*> fields(static_cast<size_t>(max) + 1, text.get());
  const int found = split(separator, text.get(), max, fields.data());
  FUZZ_CHECK(found >= 0 && found <= max);
  FUZZ_CHECK(fields[static_cast<size_t>(found)] == nullptr);

  const char* const begin = text.get();
  const char* const end = begin + length;
  const char* after = begin;  // where the previous field ended
  for (int i = 0; i < found; ++i) {
    const char* field = fields[static_cast<size_t>(i)];
    FUZZ_CHECK(field >= after && field <= end);
    const size_t fieldLength = std::strlen(field);
    FUZZ_CHECK(field + fieldLength <= end);
    // The bytes of a field are the text's own: only its end was overwritten.
    FUZZ_CHECK(std::memcmp(field, input.get() + (field - begin), fieldLength) == 0);
    // An opening quote stands just before the field, after the byte that ended the one before
    // (a field may also start right after a closing quote).
    const bool quoted = !keepsQuotes && field - 1 >= after && input.get()[field - begin - 1] == '"';
    if (!quoted) {
      // No separator outside double quotes; when quotes are kept, inside them is allowed.
      bool inQuotes = false;
      for (size_t k = 0; k < fieldLength; ++k) {
        if (keepsQuotes && field[k] == '"' && separator != '"') {
          inQuotes = !inQuotes;
        }
        FUZZ_CHECK(inQuotes || field[k] != separator || separator == '\0');
      }
      FUZZ_CHECK(keepsQuotes || fieldLength == 0 || field[0] != '"' || separator == '"');
    } else {
      FUZZ_CHECK(std::strchr(field, '"') == nullptr);
    }
    after = field + fieldLength + 1;
  }
  // Below the limit, the text had no further field: only spaces may be left after the last.
  if (found < max) {
    const char* rest = found == 0 ? begin : after;
    if (rest <= end) {
      for (const char* p = rest; p < end; ++p) {
        FUZZ_CHECK(*p == ' ' || *p == '\0');
      }
    }
  }
}

void CheckSplitQuoted(const fuzz::Text& input, int count) {
  const size_t length = input.length();
  std::unique_ptr<char[]> text(new char[length + 1]);
  std::memcpy(text.get(), input.get(), length + 1);
  std::vector<char*> slots(count > 0 ? static_cast<size_t>(count) : 1, nullptr);
  char* scan = SplitQuoted(text.get(), count, slots.data());
  FUZZ_CHECK(scan >= text.get() && scan <= text.get() + length);
  if (count <= 0) {
    FUZZ_CHECK(scan == text.get());
    return;
  }
  const char* after = text.get();
  for (int i = 0; i < count; ++i) {
    const char* slot = slots[static_cast<size_t>(i)];
    FUZZ_CHECK(slot >= after && slot <= text.get() + length);
    FUZZ_CHECK(std::strchr(slot, '"') == nullptr);
    after = slot + std::strlen(slot);
  }
}

// The counted list of the text's lines, edited by ArgRemove or ArgTakePrefix, against the same
// edit done on a copy.
void CheckListEditors(const fuzz::Text& input, const std::string& key) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < input.length(); ++i) {
    if (input.get()[i] == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += input.get()[i];
    }
  }
  lines.push_back(line);
  std::vector<char*> list;
  for (auto& entry : lines) {
    list.push_back(entry.data());
  }
  std::vector<char*> model = list;

  auto matchWhole = [&key](const char* entry) {
    return CompareIgnoringCase(entry, key.c_str()) == 0;
  };
  auto matchPrefix = [&key](const char* entry) {
    return std::strlen(entry) >= key.size() &&
           CompareIgnoringCaseN(entry, key.c_str(), key.size()) == 0;
  };

  int count = static_cast<int>(list.size());
  size_t hit = 0;
  while (hit < model.size() && !matchWhole(model[hit])) {
    ++hit;
  }
  const int removed = ArgRemove(&count, list.data(), key.c_str());
  FUZZ_CHECK(removed == (hit < model.size() ? 1 : 0));
  if (removed == 1) {
    model.erase(model.begin() + static_cast<std::ptrdiff_t>(hit));
    FUZZ_CHECK(list.back() == nullptr);
  }
  FUZZ_CHECK(count == static_cast<int>(model.size()));
  for (size_t i = 0; i < model.size(); ++i) {
    FUZZ_CHECK(list[i] == model[i]);
  }

  hit = 0;
  while (hit < model.size() && !matchPrefix(model[hit])) {
    ++hit;
  }
  const char fallback[] = "fallback";
  const char* rest = ArgTakePrefix(&count, list.data(), key.c_str(), fallback);
  if (hit < model.size()) {
    FUZZ_CHECK(rest == model[hit] + key.size());
    model.erase(model.begin() + static_cast<std::ptrdiff_t>(hit));
  } else {
    FUZZ_CHECK(rest == fallback);
  }
  FUZZ_CHECK(count == static_cast<int>(model.size()));
  for (size_t i = 0; i < model.size(); ++i) {
    FUZZ_CHECK(list[i] == model[i]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The separator, the limit, the key's length, then the key and the text.
  if (size < 3) {
    return 0;
  }
  const auto separator = static_cast<char>(data[0]);
  const int max = data[1] % 32;
  const size_t keyLength = data[2] % 8 <= size - 3 ? data[2] % 8 : size - 3;
  const fuzz::Text keyText(data + 3, keyLength);
  const fuzz::Text input(data + 3 + keyLength, size - 3 - keyLength);

  CheckSplitter(SplitFields, separator, input, max, false);
  CheckSplitter(SplitFieldsKeepQuotes, separator, input, max, true);
  CheckSplitter(SplitWordsWith, ' ', input, max, false);
  CheckSplitQuoted(input, static_cast<int>(data[1] % 16) - 2);
  CheckListEditors(input, keyText.get());
  return 0;
}
