// Making storage run out on purpose: memory_limit_posix.cpp and memory_limit_win32.cpp.
#pragma once

namespace testing_support {

// Caps the address space a little above what the process uses now, so that any large
// allocation after this fails. Meant for death-test children only.
void LimitFurtherAllocation();

}  // namespace testing_support
