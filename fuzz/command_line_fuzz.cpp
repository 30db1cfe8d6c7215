// Splitting arbitrary text into tokens, and the promise the POSIX entry relies on: a command
// line rebuilt from tokens splits back into exactly those tokens.
#include <cstring>
#include <string>
#include <vector>

#include "frontend/command_line.h"
#include "fuzz/fuzz_check.h"
#include "platform/platform.h"

namespace {

// The token list with exactly its cap + 1 entries, so that a write past them is seen.
struct Tokens {
  explicit Tokens(int cap) : list(static_cast<size_t>(cap) + 1, nullptr) {}
  ~Tokens() { FreeArgList(list.data()); }
  Tokens(const Tokens&) = delete;
  Tokens& operator=(const Tokens&) = delete;
  std::vector<char*> list;
  int count = 0;
};

bool SameTokens(const Tokens& a, const Tokens& b, int count) {
  for (int i = 0; i < count; ++i) {
    if (std::strcmp(a.list[static_cast<size_t>(i)], b.list[static_cast<size_t>(i)]) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) {
    return 0;
  }
  // The first byte is the cap; the text runs to the end or to the first zero byte.
  const int cap = data[0] % 64;
  const fuzz::Text input(data + 1, size - 1);
  const char* text = input.get();
  const std::string original(text);

  Tokens capped(cap);
  capped.count = SplitCommandLine(text, cap, capped.list.data());
  FUZZ_CHECK(capped.count >= 0 && capped.count <= cap);
  FUZZ_CHECK(capped.list[static_cast<size_t>(capped.count)] == nullptr);
  FUZZ_CHECK(original == text);

  // Without a cap that bites, the capped tokens are the first of all of them.
  const int roomy = static_cast<int>(input.length()) + 1;
  Tokens all(roomy);
  all.count = SplitCommandLine(text, roomy, all.list.data());
  FUZZ_CHECK(all.count < roomy);
  FUZZ_CHECK(all.count >= capped.count);
  FUZZ_CHECK(SameTokens(all, capped, capped.count));
  if (all.count > capped.count) {
    FUZZ_CHECK(capped.count == cap);
  }

  // Every token is no longer than the text it came from.
  for (int i = 0; i < all.count; ++i) {
    FUZZ_CHECK(std::strlen(all.list[static_cast<size_t>(i)]) <= input.length());
  }

  // Joined again as the POSIX entry joins argv, the tokens split back into themselves.
  const char* line = platform::RawCommandLine(all.count, all.list.data());
  FUZZ_CHECK(line != nullptr);
  Tokens again(all.count + 1);
  again.count = SplitCommandLine(line, all.count + 1, again.list.data());
  FUZZ_CHECK(again.count == all.count);
  FUZZ_CHECK(SameTokens(again, all, all.count));
  // The text is the caller's to keep until the process ends; here every run makes one.
  delete[] line;
  return 0;
}
