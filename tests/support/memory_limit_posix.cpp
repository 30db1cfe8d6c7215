// Making storage run out on purpose, on POSIX systems: an address space capped a little above
// what this process uses now.
#include "support/memory_limit.h"

#include <sys/resource.h>

#include <fstream>

namespace testing_support {

void LimitFurtherAllocation() {
  std::ifstream statm("/proc/self/statm");
  unsigned long long pages = 0;
  statm >> pages;
  rlim_t limit = pages * 4096ULL + (64ULL << 20);
  rlimit cap = {limit, limit};
  setrlimit(RLIMIT_AS, &cap);
}

}  // namespace testing_support
