#!/bin/sh
# Two copies of the built rtdprog-cli on one virtual chip (one image file),
# as a script in one terminal and a person in another would run them: while
# a slow write runs, a read, an erase and another write are refused at once
# and change nothing, a read told to wait runs after the write and finds
# its image, and a holder killed outright leaves the programmer free.
# Usage: two_programs.sh [EMULATOR] CLI   (EMULATOR: e.g. wine64 for the .exe)
set -eu
emulator=""
if [ $# -gt 1 ]; then emulator=$1; shift; fi
cli=$1
work=$(mktemp -d)
first=""
trap '[ -z "$first" ] || kill -KILL "$first" 2>/dev/null; rm -rf "$work"' EXIT

# A program folder of its own, as in end_to_end.sh.
mkdir "$work/program"
cp "$cli" "$(dirname "$cli")/jedec.ini" "$work/program/"
cli="$work/program/$(basename "$cli")"
cd "$work"
head -c 131072 /dev/urandom >flash.bin
head -c 131072 /dev/urandom >image.bin
head -c 131072 /dev/urandom >other.bin
# Slowed down, the write takes several seconds; the others on the same
# chip run at full speed.
printf '%s\n' 'jedec=EF3011' 'size=131072' 'erase-ms=20' 'image=flash.bin' >fast.cfg
{ cat fast.cfg; echo 'transfer-us=5000'; } >slow.cfg

run() { $emulator "$cli" --simulate=fast.cfg --lang en --no-backup "$@" </dev/null; }
fail() {
    echo "FAIL: $*"
    for f in first.out first.err second.out second.err; do
        [ -e "$f" ] && { echo "--- $f"; tail -n 5 "$f"; }
    done
    exit 1
}
# Starts the slow write of $1 and returns once it talks to the programmer.
start_write() {
    # Not through run: the program itself must be the background job.
    $emulator "$cli" --simulate=slow.cfg --lang en --no-backup --comm-log write --yes "$1" \
        </dev/null >first.out 2>first.err &
    first=$!
    i=0
    until [ "$(grep -c 'CMD:' first.err 2>/dev/null)" -ge 20 ]; do
        kill -0 "$first" 2>/dev/null || fail "the write ended before it got going"
        i=$((i + 1))
        [ $i -lt 600 ] || fail "the write did not get going within 60 s"
        sleep 0.1
    done
}
still_writing() { kill -0 "$first" 2>/dev/null || fail "the write ended before: $*"; }
refused() {  # ARGS...: refused at once, in its own words, with status 1
    set +e
    run "$@" >second.out 2>second.err
    status=$?
    set -e
    [ "$status" = 1 ] || fail "$* exited $status during the write, not 1"
    grep -q "^The programmer sim:hid/0/programmer is in use by another program: $holder" \
        second.err || fail "$* did not say the programmer is in use by $holder"
    [ ! -s second.out ] || fail "$* said more than the refusal"
    still_writing "$* was refused only after it"
}

start_write image.bin
# The holder by name, and on Linux by its process id.
holder="rtdprog-cli (process $first)"
[ -z "$emulator" ] || holder="rtdprog-cli.exe (process "
refused read dump.bin
[ ! -e dump.bin ] || fail "the refused read left a file"
refused erase --yes
refused write --yes other.bin
# A script that waits: it runs once the write has let go, on what it left.
still_writing "a read that waits could start"
run --wait-busy 120 read waited.bin >second.out 2>second.err ||
    fail "the read that waited exited $?"
grep -q "waiting up to 120 s for it to be free" second.err || fail "the wait was not said"
wait "$first" || fail "the write exited $?"
first=""
cmp -s flash.bin image.bin || fail "the chip does not hold exactly the written image"
cmp -s waited.bin image.bin || fail "the read that waited did not find the written image"

# A holder killed outright holds nothing (the system may take a moment to
# notice: the next program waits for that, not for ever).
start_write other.bin
kill -KILL "$first"
wait "$first" || true
first=""
run --wait-busy 30 read after-kill.bin >second.out 2>second.err ||
    fail "the programmer was not free after its holder was killed"
cmp -s after-kill.bin flash.bin || fail "the read after the kill is not the chip"
echo "two programs: ok"
