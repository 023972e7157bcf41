#!/bin/sh
# Runs the tool on the virtual programmer. With a display, opens the window
# rtdprog on it; without one, says so and runs the command line's main job
# instead: check the link and identify the flash, read it into a file,
# compare the file back. With arguments, runs rtdprog-cli with them.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target rtdprog-cli rtdprog
cli="$root/build/bin/rtdprog-cli"
if [ $# -gt 0 ]; then exec "$cli" "$@"; fi

# A virtual board whose flash lives in a file, so it survives between runs.
demo="$root/build/demo"
mkdir -p "$demo"
if [ ! -f "$demo/sim.conf" ]; then
    cat > "$demo/sim.conf" <<CONF
# The virtual programmer of the demo: a Winbond W25Q40 (512 KiB) with content.
jedec=EF4013
size=524288
image=$demo/flash.bin
CONF
    # Something that looks like firmware: a header and code, the rest erased.
    head -c 180000 /dev/urandom > "$demo/flash.bin"
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Opening the window on the virtual programmer (build/demo/sim.conf)."
    exec "$root/build/bin/rtdprog" --simulate="$demo/sim.conf"
fi
echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running the command-line demo."
set -x
"$cli" --simulate="$demo/sim.conf" --lang en info
"$cli" --simulate="$demo/sim.conf" --lang en read "$demo/dump.bin"
"$cli" --simulate="$demo/sim.conf" --lang en compare --quick "$demo/dump.bin"
