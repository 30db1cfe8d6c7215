// Crashes inside a guard, as the picture library might on a hostile file, so that the Windows
// tests can check what the user gets: the fatal message box and exit code 1.
//   crash_in_guard.exe null|abort
#include <cstdlib>
#include <cstring>

#include "util/messages.h"

int main(int argc, char** argv) {
  FatalOnCrash guard("Couldn't open input file: %s", "hostile.png");
  if (argc > 1 && std::strcmp(argv[1], "abort") == 0) {
    std::abort();
  }
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
