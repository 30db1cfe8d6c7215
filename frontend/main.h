// The program's entry routine. The system's own entry (in app/) calls it once, after
// InitProcess, with the raw command line; its result is the process exit code.
#pragma once

// Null `commandLine` means there was no storage for it.
int ProgramMain(const char* commandLine);
