#!/bin/sh
# Reads, writes another image, reads back and compares both ways through the
# built rtdprog-cli on the virtual programmer, whose flash lives in a file.
# Usage: end_to_end.sh [EMULATOR] CLI   (EMULATOR: e.g. wine64 for the .exe)
set -eu
emulator=""
if [ $# -gt 1 ]; then emulator=$1; shift; fi
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A program folder of its own: the settings and backups it keeps beside
# itself land there, not beside the built programs.
mkdir "$work/program"
cp "$cli" "$(dirname "$cli")/jedec.ini" "$work/program/"
cli="$work/program/$(basename "$cli")"
cp "$(dirname "$cli")/jedec.ini" "$work/jedec.ini"
head -c 524288 /dev/urandom > "$work/flash.bin"
cat > "$work/sim.conf" <<CONF
jedec=EF4013
size=524288
erase-ms=20
image=$work/flash.bin
CONF
run() { $emulator "$cli" --simulate="$work/sim.conf" --jedec "$work/jedec.ini" "$@" </dev/null; }
expect() {  # expect STATUS command...
    want=$1; shift
    set +e; run "$@" >"$work/out" 2>"$work/err"; got=$?; set -e
    if [ "$got" -ne "$want" ]; then
        echo "FAIL: rtdprog-cli $* exited $got, expected $want"; cat "$work/out" "$work/err"; exit 1
    fi
}

expect 0 --lang en read "$work/dump1.bin"
cmp "$work/dump1.bin" "$work/flash.bin"

head -c 200000 /dev/urandom > "$work/new.bin"
expect 5 --lang en write "$work/new.bin"            # no terminal, no --yes: nothing erased
cmp "$work/dump1.bin" "$work/flash.bin"
expect 0 --lang ru write "$work/new.bin" --yes
grep -q "Запись FLASH успешно выполнена" "$work/out"

expect 0 read "$work/dump2.bin"
cmp -n 200000 "$work/dump2.bin" "$work/new.bin"
expect 0 compare "$work/new.bin"
expect 0 compare --quick "$work/new.bin"
expect 3 compare "$work/dump1.bin"
expect 3 compare --quick "$work/dump1.bin"
# The flash survived between runs in its backing file.
cmp "$work/dump2.bin" "$work/flash.bin"
expect 3 blank-check
expect 0 erase --yes
expect 0 blank-check
expect 0 read --verify "$work/dump3.bin"
test "$(tr -d '\377' < "$work/dump3.bin" | wc -c)" -eq 0
echo "end-to-end: ok"
