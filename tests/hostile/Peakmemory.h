// Peak resident memory of this process while a piece of a test runs, above
// what was resident when it started: the kernel's high-water mark is reset
// first (clear_refs 5), so an earlier test's peak does not hide this one.
#pragma once

#include <cstdint>

class TPeakMemory {
 public:
  TPeakMemory();  // resets the high-water mark and notes the resident size
  // How far the high-water mark rose above the resident size at construction.
  int64_t GrowthBytes() const;
  static int64_t ResidentBytes();  // VmRSS

 private:
  int64_t Start;
};

inline constexpr int64_t MiB = 1024 * 1024;
// The bound every hostile input is held to: generous, so that it catches a
// blow-up (a copy per line, a quadratic buffer), not a few megabytes.
// Under AddressSanitizer every allocation carries red zones and freed blocks
// wait in quarantine, which about doubles the cost of many small strings.
// The thread sanitizer keeps shadow memory several times the size of every
// page touched, so there the bound says nothing; the other builds check it.
#if defined(__SANITIZE_THREAD__)
inline constexpr int64_t HostileMemoryBound = INT64_MAX;
#elif defined(__SANITIZE_ADDRESS__)
inline constexpr int64_t HostileMemoryBound = 400 * MiB;
#else
inline constexpr int64_t HostileMemoryBound = 200 * MiB;
#endif
