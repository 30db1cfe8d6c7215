// Runs a fuzz target without a fuzzer: every file named on the command line, and every file of
// every directory named there, goes once through LLVMFuzzerTestOneInput. A finding ends the
// program as it would end the fuzzer (an abort, or a sanitizer's report in a sanitized build).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"

namespace {

// The input goes in a buffer of exactly its size, so that a sanitized build sees any read past
// its end.
bool Replay(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    return false;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::unique_ptr<uint8_t[]> input(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), input.get());
  std::fprintf(stderr, "replay: %s\n", path.c_str());
  LLVMFuzzerTestOneInput(input.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path place(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(place, error)) {
      // In name order, so that two runs replay alike.
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(place)) {
        // Hidden files (such as the one that keeps an empty folder in version control) are no
        // inputs.
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
          files.push_back(entry.path());
        }
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        if (!Replay(file)) {
          return 1;
        }
        ++replayed;
      }
    } else if (std::filesystem::is_regular_file(place, error)) {
      if (!Replay(place)) {
        return 1;
      }
      ++replayed;
    } else {
      std::fprintf(stderr, "replay: no such file or directory: %s\n", argv[i]);
      return 1;
    }
  }
  std::printf("replayed %d inputs\n", replayed);
  return 0;
}
