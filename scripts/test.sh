#!/bin/sh
# Builds everything and runs every test. Usage: scripts/test.sh [--sanitize]
#   --sanitize  build and test under AddressSanitizer + UndefinedBehaviorSanitizer
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build"
extra=""
if [ "${1:-}" = "--sanitize" ]; then
    build="$root/build-asan"
    extra="-DRTD_SANITIZE=ON -DRTD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug"
fi
cmake -S "$root" -B "$build" -G Ninja $extra >/dev/null
cmake --build "$build"
cd "$build"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j"$(nproc)"
