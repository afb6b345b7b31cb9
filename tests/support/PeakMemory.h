#pragma once
// The process's peak resident memory, to show that a test's input was never held whole.

#include <sys/resource.h>

#include <cstdint>

// Under AddressSanitizer freed memory is held back for a while, and ThreadSanitizer shadows
// every block: peaks say nothing there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kPeakMemoryIsMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kPeakMemoryIsMeaningful = false;
#else
constexpr bool kPeakMemoryIsMeaningful = true;
#endif
#else
constexpr bool kPeakMemoryIsMeaningful = true;
#endif

// Highest resident set size of the process so far, in MiB.
inline int64_t PeakMemoryMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<int64_t>(usage.ru_maxrss) / 1024;
}
