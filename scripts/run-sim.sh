#!/bin/sh
# Builds the command-line tool and runs it on the virtual programmer.
# Usage: scripts/run-sim.sh [rtdprog-cli arguments]   (default: the demo)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target rtdprog-cli
cli="$root/build/src/cli/rtdprog-cli"
if [ $# -gt 0 ]; then exec "$cli" "$@"; fi
exec "$cli" --simulate --lang en info
