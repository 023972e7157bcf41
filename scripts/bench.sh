#!/bin/sh
# Builds the benchmarks in release mode and runs them.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build-bench" --target rtd_bench rtd_bench_memory rtd_bench_hexview rtd_bench_window
"$root/build-bench/bin/rtd_bench" "$@"
"$root/build-bench/bin/rtd_bench_memory"
"$root/build-bench/bin/rtd_bench_hexview"
"$root/build-bench/bin/rtd_bench_window"
