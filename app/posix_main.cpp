// The system's entry on POSIX, above the front end it starts. Apart from the core library so
// that the tests, which bring their own main, can link everything else.
#include <memory>

#include "frontend/main.h"
#include "platform/platform.h"

namespace {
// The command line must live until the process ends, whichever way it ends (a fatal error exits
// from deep inside): owned here, it is released only after everything else.
std::unique_ptr<const char[]> gCommandLine;
}  // namespace

int main(int argc, char** argv) {
  platform::InitProcess();
  gCommandLine.reset(platform::RawCommandLine(argc, argv));
  return ProgramMain(gCommandLine.get());
}
