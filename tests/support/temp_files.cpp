#include "support/temp_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

namespace testing_support {

TempDir::TempDir() {
  std::random_device random;
  std::error_code ec;
  std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::filesystem::path candidate = base / ("dolvane-test-" + std::to_string(random()));
    // create_directory is true only for a directory that it made itself.
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate.string();
    }
  }
  if (path_.empty()) {
    ADD_FAILURE() << "no fresh directory in " << base.string();
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  EXPECT_TRUE(out) << "cannot write " << path;
}

}  // namespace testing_support
