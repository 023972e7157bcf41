#!/bin/sh
# Builds everything and runs every test. Usage: scripts/test.sh [--sanitize]
#   --sanitize  build and test under AddressSanitizer + UndefinedBehaviorSanitizer
# RTD_WERROR=ON in the environment makes warnings errors (CI sets it).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build"
extra=""
if [ "${1:-}" = "--sanitize" ]; then
    build="$root/build-asan"
    extra="-DRTD_SANITIZE=ON -DRTD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug"
fi
cmake -S "$root" -B "$build" -G Ninja -DRTD_WERROR="${RTD_WERROR:-OFF}" $extra >/dev/null
cmake --build "$build"
cd "$build"
# The suite works in folders of its own: nothing it does may land beside the
# built programs, where a developer's own runs keep their settings and backups.
stamp="$build/.suite-start"
touch "$stamp"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$root/tests/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j"$(nproc)"
left=$(find "$build/bin" \( -name rtdprog.ini -o -path "*/backups*" \) -newer "$stamp")
if [ -n "$left" ]; then
    echo "test.sh: the suite wrote beside the built programs:" >&2
    echo "$left" >&2
    exit 1
fi
