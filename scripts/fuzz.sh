#!/bin/sh
# Builds the ini reader's fuzz target with clang and runs it for a fixed
# number of inputs from a fixed seed, so every run does the same work.
# Usage: scripts/fuzz.sh [RUNS]   (default 20000). Exits non-zero on a crash.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build-fuzz"
runs="${1:-20000}"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DRTD_FUZZ=ON -DBUILD_TESTING=OFF -DRTD_BENCH=OFF >/dev/null
cmake --build "$build" --target ini_fuzz
# libFuzzer adds what it finds to its first corpus directory: give it a copy.
work="$build/fuzz-work"
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
cp "$root"/fuzz/corpus/* "$work/corpus/"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 \
    "$build/fuzz/ini_fuzz" -runs="$runs" -seed=1 -max_len=4096 -timeout=10 \
    -artifact_prefix="$work/artifacts/" "$work/corpus"
