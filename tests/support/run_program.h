// Running the real program and looking at the directory it worked in.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_files.h"

namespace testing_support {

struct RunResult {
  int exitCode = -1;        // -1 when the program did not end normally
  int signal = 0;           // the signal that ended it, if any
  std::string out;          // everything written to standard output
  std::string err;          // everything written to standard error
  long peakResidentKb = 0;  // the most memory the program held at once, in KiB
};

struct RunOptions {
  std::string workDir;           // empty: the tests' own
  long long fileSizeLimit = -1;  // bytes per file the program may write; -1: no limit
  bool oneCore = false;          // the program may run on one processor core only
};

// Runs build/dolvane with `args` (argv[1] onwards) and waits for it.
RunResult RunDolvane(const std::vector<std::string>& args, const RunOptions& options = {});

// Starts build/dolvane with `args` and returns at once with its process id (-1, and a failed
// test, when it cannot be started), so that a test can stop it midway. Its output is dropped;
// the caller must wait for it.
pid_t StartDolvane(const std::vector<std::string>& args, const RunOptions& options = {});

// The box texts as the program prints them on a console.
std::string InfoBox(const std::string& text);
std::string WarningBox(const std::string& text);

}  // namespace testing_support
