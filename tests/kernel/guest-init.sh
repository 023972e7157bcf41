#!/bin/sh
# /init of the kernel test's guest: loads the USB/IP and HID modules, runs
# the steps through rtdprog-usbip and the hidapi backend, compares every
# output with the host's --simulate run, and powers the machine off.
export PATH=/bin:/opt/rtdprog
. /t/guest.sh
. /t/checks.sh
start_guest

chown nobody:nogroup /home/nobody
cd /t
server=""

stop_server() {
    [ -n "$server" ] || return 0
    kill -TERM "$server"
    wait "$server"
    server=""
    wait_hidraw 0
    verdict "devices-leave-when-server-ends-$config" $?
}

use_config() {
    stop_server
    config=$1
    device_config=$config.cfg
    [ -e "$config.usb.cfg" ] && device_config=$config.usb.cfg
    rtdprog-usbip --attach "/t/$device_config" 2>>server.log &
    server=$!
    # Every decoy and the programmer, unless it starts unplugged.
    devices=$(grep -c '^decoy' "$device_config")
    programmers=$(sed -n 's/^programmers=//p' "$device_config")
    grep -q '^attached=0' "$device_config" || devices=$((devices + ${programmers:-1}))
    if [ "$devices" = 0 ]; then
        usleep 500000
        wait_hidraw 0
        verdict "device-stays-off-$config" $?
    else
        wait_hidraw "$devices"
        verdict "devices-appear-$config" $?
    fi
}

check() {
    name=$1
    shift
    if [ "$config" = locked ]; then
        # hidraw nodes belong to root alone: without a udev rule a user cannot
        # open them. hidapi's reason names the node, which the virtual
        # programmer's cannot; the rest must be the same.
        su -s /bin/sh nobody -c \
            "HOME=/home/nobody timeout 120 rtdprog-cli $* 2>&1; echo exit status \$?" |
            sed "s|Failed to open a device with path '/dev/hidraw[0-9]*': ||" >"got/$name.out"
    else
        timeout 120 rtdprog-cli "$@" >"got/$name.out" 2>&1
        echo "exit status $?" >>"got/$name.out"
    fi
    # A backup's folder and time differ between the two runs; its chip id
    # and checksum must not.
    sed -i 's|\(FLASH backup: \).*/backups/[0-9-]*_|\1backups/|; s|\(already kept in \).*/backups/[0-9-]*_|\1backups/|' "got/$name.out"
    cmp -s "expected/$name.out" "got/$name.out"
    r=$?
    verdict "$name" $r
    [ $r = 0 ] || diff "expected/$name.out" "got/$name.out" | head -20
    case "$name" in
    read)
        cmp -s dump.bin expected/dump.bin
        verdict "read-content" $? ;;
    verified-read)
        cmp -s verified.bin expected/verified.bin
        verdict "verified-read-content" $? ;;
    unplugged-read | bad-checksum-read)
        # No dump, not even a partial one under another name.
        ! ls "$2"* >/dev/null 2>&1
        verdict "$name-leaves-no-file" $? ;;
    esac
}

plug_back() {
    wait_hidraw $((devices - 1))
    verdict "device-leaves-at-unplug" $?
    kill -USR2 "$server"
    wait_hidraw "$devices"
    verdict "device-back-after-plug" $?
}

# Two command lines on one hidraw node, as a script and a person at two
# terminals: while a slow write runs, a read and a listing are told the
# programmer is in use (naming the writer) and the write goes on to finish;
# a read told to wait runs after it and finds the image written.
two_programs() {
    failed_before=$failed
    use_config slow
    rtdprog-cli --no-backup --comm-log write --yes image.bin >got/two-write.out \
        2>got/two-write.err </dev/null &
    writer=$!
    i=0
    # (grep -c says 0 and fails when nothing matches)
    while [ $i -lt 600 ] && kill -0 "$writer" 2>/dev/null; do
        logged=$(grep -c 'CMD:' got/two-write.err 2>/dev/null)
        [ "${logged:-0}" -lt 20 ] || break
        usleep 100000
        i=$((i + 1))
    done
    in_use="is in use by another program: rtdprog-cli (process $writer)"
    rtdprog-cli read got/two-refused.bin >got/two-refused.out 2>&1 </dev/null
    r=$?
    kill -0 "$writer" 2>/dev/null && [ $r = 1 ] && [ ! -e got/two-refused.bin ] &&
        grep -q "^The programmer /dev/hidraw[0-9]* $in_use\$" got/two-refused.out
    verdict "two-programs-read-refused-during-the-write" $?
    rtdprog-cli list >got/two-list.out 2>&1 </dev/null
    r=$?
    [ $r = 0 ] && grep -q "^/dev/hidraw[0-9]*  The programmer $in_use\$" \
        got/two-list.out
    verdict "two-programs-list-marks-it" $?
    kill -0 "$writer" 2>/dev/null
    verdict "two-programs-write-still-running" $?
    rtdprog-cli --wait-busy 200 read got/two-waited.bin >got/two-waited.out 2>&1 </dev/null
    verdict "two-programs-read-that-waits" $?
    wait "$writer"
    verdict "two-programs-write-completes" $?
    cmp -s got/two-waited.bin image.bin
    verdict "two-programs-waited-read-finds-the-image" $?
    [ "$failed" = "$failed_before" ] && return
    for f in two-write.out two-refused.out two-list.out two-waited.out; do
        echo "--- $f"
        tail -n 3 "got/$f"
    done
}

mkdir -p got
. ./steps.sh
steps
two_programs
stop_server
# What the programmers' flash holds at the end, as on the host.
for c in main faults unplug; do
    cmp -s "flash-$c.bin" "expected/flash-$c.bin"
    verdict "flash-content-$c" $?
done
if [ -s server.log ]; then
    echo "--- rtdprog-usbip said:"
    cat server.log
fi
echo "$passed passed, $failed failed"
poweroff -f
