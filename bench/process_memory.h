// The process's memory as the kernel counts it, for the benchmarks that
// measure what an operation adds on top of what was already held.
#pragma once

#include <sys/resource.h>

#include <fstream>
#include <string>

namespace rtd::bench {

// Resident memory now, in KiB (0 where /proc is not mounted).
inline long CurrentRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

// The highest resident memory the process has had, in KiB.
inline long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace rtd::bench
