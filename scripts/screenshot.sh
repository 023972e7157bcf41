#!/bin/sh
# Takes pictures of the window on the virtual programmer under a virtual X
# display: connected, reading (docs/window-reading.png) and after the read
# (docs/window.png), the hex view of a full compare (docs/window-hexview.png),
# and in Russian (docs/window-ru.png); then the Windows window rtdprog.exe
# under Wine after a read (docs/window-windows.png), its hex view of a full
# compare (docs/window-windows-hexview.png) and in Russian
# (docs/window-windows-ru.png). Usage: scripts/screenshot.sh [DIR]   (default docs/)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
out="${1:-$root/docs}"
mkdir -p "$out"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target rtdprog-screenshot
# The X platform, not the offscreen one, so fonts and style are the real ones.
# Wide enough for the hex view of a compare (it is kept to the screen).
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
    "$root/build/bin/rtdprog-screenshot" "$out"
echo "Pictures in $out: window.png, window-reading.png, window-hexview.png, window-ru.png"

# The Windows window under Wine, on a virtual display: Wine's own desktop
# (so the frame and caption are drawn as Windows draws them) in a Wine
# kept for the pictures.
win="$root/build-windows"
"$root/scripts/build-windows.sh" --no-tests >/dev/null
wine=$(sed -n 's/^RTD_WINE64:FILEPATH=//p' "$win/CMakeCache.txt")
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
export WINEPREFIX="$win/wineprefix-shot" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The desktop as wide as an engineer's screen, so the hex view of a compare
# shows the file's and the chip's bytes side by side (it is kept to the
# desktop); set on every run, so an older prefix follows.
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x800 /f >/dev/null 2>&1
"$wineserver" -w
shots=$(mktemp -d)
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '"$0" "$1" "$2"; s=$?; "$3" -k; exit $s' \
    "$wine" "$win/bin/rtdprog-screenshot.exe" "Z:$(echo "$shots" | tr / '\\')" "$wineserver"
for name in window-windows window-windows-hexview window-windows-ru; do
    python3 "$root/scripts/bmp-to-png.py" "$shots/$name.bmp" "$out/$name.png"
done
rm -rf "$shots"
echo "Pictures of the Windows window in $out: window-windows.png, window-windows-hexview.png, window-windows-ru.png"
