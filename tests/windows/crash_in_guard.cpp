// Crashes inside a guard while a piece is being written, as the picture library might on a
// hostile file, so that the Windows tests can check what the user gets: the fatal message box,
// exit code 1 and no temporary file left in the current folder.
//   crash_in_guard.exe null|abort
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "util/messages.h"

int main(int argc, char** argv) {
  platform::ReplacementFile piece;
  if (!piece.Open("piece.png")) {
    return 2;
  }
  FatalOnCrash guard("Couldn't open input file: %s", "hostile.png");
  if (argc > 1 && std::strcmp(argv[1], "abort") == 0) {
    std::abort();
  }
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
