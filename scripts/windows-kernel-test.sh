#!/bin/sh
# The Windows device path, end to end: rtdprog-cli.exe under Wine, through
# HID.DLL and the kernel's USB stack, on the virtual programmer in a qemu
# guest, compared with the Linux program and --simulate (tests/winkernel).
# Needs the Windows build (scripts/build-windows.sh). Prints one PASS/FAIL
# line per check and "N passed, M failed"; exit status 0 when all passed.
# Takes about two and a half minutes on two idle cores (several times that
# on a busy machine); the guest is stopped after 900 s at most.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target rtdprog-cli rtdprog-usbip
cmake --build "$root/build-windows" --target rtdprog-cli rtdprog-cli-wine8 rtdprog-wine8 \
    rtdprog-window-probe
exec "$root/tests/winkernel/windows-kernel-test.sh" "$build" "$root/build-windows"
