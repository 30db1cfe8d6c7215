// The system's entry on POSIX. Kept apart from posix.cpp so that the tests, which bring their
// own main, can link everything else.
#include "frontend/main.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::InitProcess();
  return ProgramMain(platform::RawCommandLine(argc, argv));
}
