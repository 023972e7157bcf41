#!/bin/sh
# Takes pictures of the window on the virtual programmer under a virtual X
# display: connected, reading (docs/window-reading.png) and after the read
# (docs/window.png), and in Russian (docs/window-ru.png). Usage: scripts/screenshot.sh [DIR]   (default docs/)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
out="${1:-$root/docs}"
mkdir -p "$out"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target rtdprog-screenshot
# The X platform, not the offscreen one, so fonts and style are the real ones.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    "$root/build/bin/rtdprog-screenshot" "$out"
echo "Pictures in $out: window.png, window-reading.png, window-ru.png"
