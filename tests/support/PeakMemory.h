#pragma once
// The process's peak resident memory, to show that a test's input was never held whole.

#include <sys/resource.h>

#include <cstdint>

// Highest resident set size of the process so far, in MiB.
inline int64_t PeakMemoryMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<int64_t>(usage.ru_maxrss) / 1024;
}
