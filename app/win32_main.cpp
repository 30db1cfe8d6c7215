// The system's entry on Windows, above the front end it starts: a desktop program, so no console
// opens behind its boxes. Apart from the core library so that the tests, which bring their own
// main, can link everything else.
#include <windows.h>

#include "frontend/main.h"
#include "platform/platform.h"

// The start-up values are not needed: the raw command line holds everything.
int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*tail*/, int /*show*/) {
  platform::InitProcess();
  return ProgramMain(GetCommandLineA());
}
