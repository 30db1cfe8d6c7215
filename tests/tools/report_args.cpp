// A program for the process tests to start. It writes the arguments it was given to the file
// named by DOLVANE_CHILD_REPORT (each followed by a zero byte), then ends as asked: an argument
// "exit=N" (or else DOLVANE_CHILD_EXIT=N) gives exit code N, "signal=N" raises signal N.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (const char* report = std::getenv("DOLVANE_CHILD_REPORT")) {
    std::FILE* out = std::fopen(report, "wb");
    if (out == nullptr) {
      return 120;
    }
    for (int i = 0; i < argc; ++i) {
      std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, out);
    }
    if (std::fclose(out) != 0) {
      return 121;
    }
  }
  int code = 0;
  if (const char* exitCode = std::getenv("DOLVANE_CHILD_EXIT")) {
    code = std::atoi(exitCode);
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "exit=", 5) == 0) {
      code = std::atoi(argv[i] + 5);
    } else if (std::strncmp(argv[i], "signal=", 7) == 0) {
      std::raise(std::atoi(argv[i] + 7));
    }
  }
  return code;
}
