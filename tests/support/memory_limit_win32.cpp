// Making storage run out on purpose, on Windows: a job whose processes may commit only a little
// more than this one has now.
#include <windows.h>

#include <psapi.h>

#include "support/memory_limit.h"

namespace testing_support {

void LimitFurtherAllocation() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
  limits.ProcessMemoryLimit = counters.PagefileUsage + (SIZE_T{64} << 20);
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  AssignProcessToJobObject(job, GetCurrentProcess());
}

}  // namespace testing_support
