// Running the real program and looking at the directory it worked in.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct RunResult {
  int exitCode = -1;  // -1 when the program did not end normally
  int signal = 0;     // the signal that ended it, if any
  std::string out;    // everything written to standard output
  std::string err;    // everything written to standard error
};

struct RunOptions {
  std::string workDir;           // empty: the tests' own
  long long fileSizeLimit = -1;  // bytes per file the program may write; -1: no limit
};

// Runs build/dolvane with `args` (argv[1] onwards) and waits for it.
RunResult RunDolvane(const std::vector<std::string>& args, const RunOptions& options = {});

// The box texts as the program prints them on a console.
std::string InfoBox(const std::string& text);
std::string WarningBox(const std::string& text);

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Names of the entries of a directory, sorted.
std::vector<std::string> ListDir(const std::string& dir);

// The bytes of a file; empty when it cannot be read.
std::string ReadBytes(const std::string& path);

}  // namespace testing_support
