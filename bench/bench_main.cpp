// Speed of the whole stack on the virtual programmer, and of the local CRC.
//   rtd_bench                      all benchmarks
//   rtd_bench --benchmark_filter=Crc
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "config/ini_file.h"
#include "flash/operations.h"
#include "stack.h"

namespace rtd::bench {
namespace {

constexpr uint32_t k16MiB = 16u * 1024 * 1024;

// Read the whole 16 MiB flash through operation, command set, exchange,
// transport and the virtual device, and save it: host time per exchange.
void BM_Read16MiB(benchmark::State& state) {
  Stack stack(k16MiB);
  stack.ops->SpeedButtonConnectClick();
  if (!stack.ops->CurrentFlash.Identified()) state.SkipWithError("flash not identified");
  for (auto _ : state) {
    if (stack.ops->SpeedButtonReadClick() != OpResult::kOk) state.SkipWithError("read failed");
  }
  state.counters["exchange"] =
      benchmark::Counter(k16MiB / 256.0, benchmark::Counter::kIsIterationInvariantRate |
                                             benchmark::Counter::kInvert);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * k16MiB);
}
BENCHMARK(BM_Read16MiB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Quick compare of a 16 MiB image: 256 CRC exchanges, the device and the host
// each computing the CRC of every 64 KiB.
void BM_QuickCompare16MiB(benchmark::State& state) {
  Stack stack(k16MiB);
  stack.ops->SpeedButtonConnectClick();
  {
    std::vector<char> erased(k16MiB, static_cast<char>(0xFF));
    std::ofstream(stack.out.image_path, std::ios::binary).write(erased.data(), k16MiB);
  }
  for (auto _ : state) {
    if (stack.ops->SpeedButtonCompareFastClick() != OpResult::kOk)
      state.SkipWithError("compare failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * k16MiB);
}
BENCHMARK(BM_QuickCompare16MiB)->Unit(benchmark::kMillisecond);

// The local CRC-8 alone.
void BM_Crc8(benchmark::State& state) {
  std::vector<uint8_t> data(k16MiB);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
  for (auto _ : state) {
    benchmark::DoNotOptimize(Crc8Range(data.data(), 0, k16MiB - 1));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * k16MiB);
}
BENCHMARK(BM_Crc8)->Unit(benchmark::kMillisecond);

// A 512 KiB read when every transfer costs 1 ms, as on full-speed USB: the
// wire alone needs 2048 exchanges x 2 transfers = 4096 ms.
void BM_Read512KiBAt1msPerTransfer(benchmark::State& state) {
  Stack stack(512 * 1024, 1000);
  stack.ops->SpeedButtonConnectClick();
  for (auto _ : state) {
    if (stack.ops->SpeedButtonReadClick() != OpResult::kOk) state.SkipWithError("read failed");
  }
  constexpr double kBoundMs = 2048 * 2 * 1.0;
  state.counters["bound_ms"] = kBoundMs;
}
BENCHMARK(BM_Read512KiBAt1msPerTransfer)->Unit(benchmark::kMillisecond)->Iterations(2);

// One key looked up in a jedec.ini whose chips come after 40,000 remark
// lines: the reader must stay linear in the file's length.
void BM_IniLookupAfter40000Remarks(benchmark::State& state) {
  char path[] = "/tmp/rtd-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) {
    state.SkipWithError("no temporary file");
    return;
  }
  close(fd);
  {
    std::ofstream f(path, std::ios::binary);
    for (int i = 0; i < 40000; ++i) f << "# remark line " << i << " without an equals sign\r\n";
    f << "[EF4013]\r\nManufacturer=Winbond W25Q40\r\nSizeInBytes=524288\r\n";
  }
  const IniFile ini(path);
  for (auto _ : state) benchmark::DoNotOptimize(ini.ReadInteger("EF4013", "SizeInBytes", 0));
  unlink(path);
}
BENCHMARK(BM_IniLookupAfter40000Remarks)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace rtd::bench

BENCHMARK_MAIN();
