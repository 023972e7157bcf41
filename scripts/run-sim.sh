#!/bin/sh
# Builds rtdprog-cli and runs its main job on the virtual programmer: check the
# link and identify the flash, read it into a file, compare the file back.
# With arguments, runs rtdprog-cli with them instead.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target rtdprog-cli
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
set -x
"$cli" --simulate="$demo/sim.conf" --lang en info
"$cli" --simulate="$demo/sim.conf" --lang en read "$demo/dump.bin"
"$cli" --simulate="$demo/sim.conf" --lang en compare --quick "$demo/dump.bin"
