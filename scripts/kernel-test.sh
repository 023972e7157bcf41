#!/bin/sh
# The real USB path, end to end: builds rtdprog-cli and rtdprog-usbip and
# runs them in a qemu guest on Debian 12's kernel (tests/kernel). Prints one
# PASS/FAIL line per check and "N passed, M failed"; exit status 0 when all
# passed. Takes about a minute on two cores; the guest is stopped after
# 240 s at most.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DRTD_WERROR="${RTD_WERROR:-OFF}" >/dev/null
cmake --build "$build" --target rtdprog-cli rtdprog-usbip
exec "$root/tests/kernel/kernel-test.sh" "$build"
