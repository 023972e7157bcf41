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

mkdir -p got
. ./steps.sh
steps
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
