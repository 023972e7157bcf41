#!/bin/sh
# Runs a Windows program that opens windows under Wine on a virtual X
# display of its own. Its Wine is kept apart from the console tests' (the
# desktop that Wine starts belongs to the display it was started on) and is
# ended with the program, so the display never outlives its desktop.
# Usage: run_on_display.sh WINE PREFIX PROGRAM [ARGS...]
set -u
wine=$1 prefix=$2
shift 2
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# A new Wine is made before the program starts, and ended, so that its
# desktop is started again on the display.
if [ ! -f "$prefix/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1
  "$wineserver" -w 2>/dev/null
fi
# The screen of an engineer's usual monitor, 1280 x 1024: the hex view of a
# compare is seen whole on it (Windows keeps a window within its screen).
exec xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  "$0" "$@"; status=$?
  "'"$wineserver"'" -k 2>/dev/null
  exit $status' "$wine" "$@"
