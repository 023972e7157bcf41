// Peak memory of a 16 MiB read through the whole stack. The virtual
// programmer's own 16 MiB flash lives in this process too; the figure that
// matters is what the read adds on top of it.
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "stack.h"

namespace {

long CurrentRssKiB() {
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

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main() {
  constexpr uint32_t k16MiB = 16u * 1024 * 1024;
  rtd::bench::Stack stack(k16MiB);
  stack.ops->SpeedButtonConnectClick();
  const long before = CurrentRssKiB();
  if (stack.ops->SpeedButtonReadClick() != rtd::OpResult::kOk) {
    std::fprintf(stderr, "read failed: %s\n", stack.out.last_box.c_str());
    return 1;
  }
  const long peak = PeakRssKiB();
  std::printf("peak RSS %.1f MiB; before the read %.1f MiB (the virtual flash included); "
              "the read added at most %.1f MiB for a %.0f MiB image\n",
              peak / 1024.0, before / 1024.0, (peak - before) / 1024.0, k16MiB / 1048576.0);
  return 0;
}
