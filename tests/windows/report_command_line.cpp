// A program for the Windows process tests to start. It writes the raw command line it was given
// to the file named by DOLVANE_CHILD_REPORT, then ends with N when that line holds "exit=N".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
  const char* line = GetCommandLineA();
  if (const char* report = std::getenv("DOLVANE_CHILD_REPORT")) {
    std::FILE* out = std::fopen(report, "wb");
    if (out == nullptr) {
      return 120;
    }
    std::fputs(line, out);
    if (std::fclose(out) != 0) {
      return 121;
    }
  }
  const char* exitCode = std::strstr(line, "exit=");
  return exitCode ? std::atoi(exitCode + 5) : 0;
}
