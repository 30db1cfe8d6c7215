// Scratch directories and file contents for the tests, on any system.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

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

// Writes `bytes` to `path`, replacing what was there; fails the test when it cannot.
void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace testing_support
