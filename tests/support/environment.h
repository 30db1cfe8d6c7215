// Changing the environment for the length of a test.
#pragma once

#include <optional>
#include <string>

namespace testing_support {

// Sets (or, for null, removes) one environment variable, and puts back what it was on
// destruction. Every change is followed by tzset(), so a change of TZ takes effect at once.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const char* value);

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace testing_support
