#include "support/environment.h"

#include <cstdlib>
#include <ctime>

namespace testing_support {

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    old_ = old;
  }
  Set(value);
}

ScopedEnv::~ScopedEnv() {
  Set(old_ ? old_->c_str() : nullptr);
}

void ScopedEnv::Set(const char* value) {
  value ? setenv(name_.c_str(), value, 1) : unsetenv(name_.c_str());
  tzset();
}

}  // namespace testing_support
