// What the backup before an erase adds to a write when every transfer costs
// 1 ms, as on full-speed USB: a 512 KiB write with the backup and without.
// The backup reads the chip twice (the reads must agree), checks the file
// by 128 CRC exchanges (one per 4 KiB) and reads the id twice.
//   rtd_bench --benchmark_filter=Backup
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "flash/operations.h"
#include "stack.h"

namespace rtd::bench {
namespace {

constexpr uint32_t k512KiB = 512 * 1024;

std::vector<char> Image(uint32_t seed) {
  std::vector<char> v(k512KiB);
  uint32_t x = seed;
  for (auto& b : v) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<char>(x >> 24);
  }
  return v;
}

// Each write puts the other of two images on the chip, so every backup is
// of real content; the folder is emptied between writes (untimed), so every
// backup is a new file rather than one found already kept.
void BM_Write512KiBAt1msPerTransferBackup(benchmark::State& state) {
  const bool backup = state.range(0) != 0;
  Stack stack(k512KiB, 1000);
  stack.ops->SpeedButtonConnectClick();
  const std::filesystem::path folder = stack.dir / "backups";
  stack.ops->Backup().MakeBackups = backup;
  stack.ops->Backup().BackupFolder = folder.string();
  const std::vector<char> images[] = {Image(1), Image(2)};
  {
    // The chip starts with the second image, so the first backup has content.
    std::ofstream(stack.out.image_path, std::ios::binary).write(images[1].data(), k512KiB);
    stack.ops->Backup().MakeBackups = false;
    stack.ops->SpeedButtonWriteClick();
    stack.ops->Backup().MakeBackups = backup;
  }
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(folder);
    const std::vector<char>& image = images[n++ % 2];
    std::ofstream(stack.out.image_path, std::ios::binary).write(image.data(), k512KiB);
    state.ResumeTiming();
    if (stack.ops->SpeedButtonWriteClick() != OpResult::kOk) state.SkipWithError("write failed");
  }
}
BENCHMARK(BM_Write512KiBAt1msPerTransferBackup)
    ->ArgName("backup")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
}  // namespace rtd::bench
