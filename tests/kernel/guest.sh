# What the device tests' guests share, sourced by their /init (busybox's sh);
# their initramfs carries it as /t/guest.sh.

# The kernel's file systems, and the modules in the order the host listed.
start_guest() {
    mount -t proc proc /proc
    mount -t sysfs sysfs /sys
    mount -t devtmpfs devtmpfs /dev
    for m in $(cat /modules/order); do
        insmod "/modules/$m.ko" || echo "cannot load module $m"
    done
}

hidraw_count() { ls /dev/hidraw* 2>/dev/null | wc -l; }

# Waits up to 20 s until there are exactly $1 hidraw nodes (the programmers
# and their decoys, or none).
wait_hidraw() {
    i=0
    while [ $i -lt 200 ]; do
        [ "$(hidraw_count)" = "$1" ] && return 0
        usleep 100000
        i=$((i + 1))
    done
    return 1
}
