// Peak memory of a 16 MiB read through the whole stack. The virtual
// programmer's own 16 MiB flash lives in this process too; the figure that
// matters is what the read adds on top of it.

#include <cstdio>

#include "process_memory.h"
#include "stack.h"

int main() {
  constexpr uint32_t k16MiB = 16u * 1024 * 1024;
  rtd::bench::Stack stack(k16MiB);
  stack.ops->SpeedButtonConnectClick();
  const long before = rtd::bench::CurrentRssKiB();
  if (stack.ops->SpeedButtonReadClick() != rtd::OpResult::kOk) {
    std::fprintf(stderr, "read failed: %s\n", stack.out.last_box.c_str());
    return 1;
  }
  const long peak = rtd::bench::PeakRssKiB();
  std::printf("peak RSS %.1f MiB; before the read %.1f MiB (the virtual flash included); "
              "the read added at most %.1f MiB for a %.0f MiB image\n",
              peak / 1024.0, before / 1024.0, (peak - before) / 1024.0, k16MiB / 1048576.0);
  return 0;
}
