#!/bin/sh
# The real USB path, end to end: boots Debian 12's kernel under qemu (TCG)
# with a small initramfs, plugs the virtual programmer into the kernel's
# virtual host controller with rtdprog-usbip, and runs rtdprog-cli on its
# hidapi backend through usbhid and hidraw. Every output must equal that of
# the same command on --simulate, which runs here on the host first.
#
# Usage: tests/kernel/kernel-test.sh BUILD_DIR
# Needs: qemu-system-x86, busybox-static, cpio (scripts/packages.txt) and
# Debian's package registry for the kernel package, fetched once into
# BUILD_DIR/kernel-test and unpacked there (never installed).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
bin="$build/bin"
work="$build/kernel-test"
guest_seconds=${RTD_KERNEL_TEST_SECONDS:-240}
test_name="kernel test"
. "$here/kernel-package.sh"
mkdir -p "$work"

for f in "$bin/rtdprog-cli" "$bin/rtdprog-usbip" "$bin/jedec.ini"; do
    [ -e "$f" ] || { echo "kernel test: $f is missing; build first" >&2; exit 1; }
done

# --- the kernel package; only the kernel and the USB and HID drivers are
# needed
kernel_package "$work" drivers/usb drivers/hid

# --- the test data, shared by both runs
data="$work/data"
rm -rf "$data"
mkdir -p "$data"
blank() { head -c "$1" /dev/zero | tr '\000' '\377'; }
# The flash as the boards come in: no blank page anywhere.
head -c 524288 /dev/urandom >"$data/flash-start.bin"
# The image to write: data, blank 64 KiB blocks, and blank pages between data.
{
    head -c 131072 /dev/urandom
    blank 65536
    head -c 256 /dev/urandom
    blank 768
    head -c 1024 /dev/urandom
    blank 63488
    head -c 196608 /dev/urandom
    blank 65536
} >"$data/image.bin"
cp "$data/flash-start.bin" "$data/flash-main.bin"
cp "$data/flash-start.bin" "$data/flash-unplug.bin"
cp "$data/flash-start.bin" "$data/flash-faults.bin"
cp "$data/flash-start.bin" "$data/flash-slow.bin"
printf '%s\n' 'image=flash-faults.bin' 'fault=checksum cmd=0x42 after=10' \
    'fault=timeout cmd=0x4B' 'fault=transfer cmd=0x70' 'link-up-ms=300' >"$data/faults.cfg"
printf 'attached=0\n' >"$data/absent.cfg"
printf 'programmers=2\n' >"$data/bench.cfg"
# The PC sees a programmer it may not open; the device itself is a plain one.
printf '%s\n' 'attached=0' 'decoy=openable=0' >"$data/locked.cfg"
printf '%s\n' '# the programmer as it is' >"$data/locked.usb.cfg"
printf '%s\n' 'decoy=manufacturer=qel position=before' 'decoy=strings=0 position=before' \
    'decoy=vid=0x046D pid=0xC077 manufacturer=Logitech product="USB Optical Mouse" position=after' \
    >"$data/decoys.cfg"
printf '%s\n' 'attached=0' 'decoy=strings=0' >"$data/unreadable.cfg"
printf 'image=flash-main.bin\n' >"$data/main.cfg"
# Slowed down, a write takes long enough for a second program to meet it.
printf 'image=flash-slow.bin\ntransfer-us=1000\n' >"$data/slow.cfg"
printf 'image=flash-unplug.bin\n# leaves the bus in the middle of a read\nunplug-after=300\n' \
    >"$data/unplug.cfg"
cp "$here/steps.sh" "$data/"

# --- the host run on --simulate gives the expected outputs
host="$work/host"
rm -rf "$host"
mkdir -p "$host/bin"
cp -r "$data/." "$host/"
cp "$bin/rtdprog-cli" "$bin/jedec.ini" "$host/bin/"
(
    cd "$host"
    use_config() { config=$1; }
    check() {
        name=$1
        shift
        set +e
        LC_ALL=C "$host/bin/rtdprog-cli" "--simulate=$host/$config.cfg" "$@" >"$name.out" 2>&1
        echo "exit status $?" >>"$name.out"
        # The virtual chip's backups lie in a folder of their own.
        sed -i 's|\(FLASH backup: \).*/backups/\(simulated/\)*[0-9-]*_|\1backups/|; s|\(already kept in \).*/backups/\(simulated/\)*[0-9-]*_|\1backups/|' "$name.out"
        set -e
    }
    plug_back() { :; }
    . ./steps.sh
    steps
)

# --- the initramfs: busybox, the modules, our two programs and their libraries
root="$work/root"
rm -rf "$root"
mkdir -p "$root/bin" "$root/opt/rtdprog" "$root/modules" "$root/proc" "$root/sys" "$root/dev" \
    "$root/t/expected"
cp /bin/busybox "$root/bin/busybox"
for applet in $(/bin/busybox --list); do
    [ "$applet" = busybox ] || ln -s busybox "$root/bin/$applet"
done
cp "$here/guest-init.sh" "$root/init"
for program in rtdprog-cli rtdprog-usbip; do
    strip -o "$root/opt/rtdprog/$program" "$bin/$program"
    for lib in $(ldd "$bin/$program" | sed -n 's/.*=> \(\/[^ ]*\) .*/\1/p; s/^\s*\(\/[^ ]*\) .*/\1/p'); do
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
done
cp "$bin/jedec.ini" "$root/opt/rtdprog/"
mkdir -p "$root/etc"
printf 'root:x:0:0::/:/bin/sh\nnobody:x:65534:65534::/:/bin/sh\n' >"$root/etc/passwd"
printf 'root:x:0:\nnogroup:x:65534:\n' >"$root/etc/group"
mkdir -p "$root/home/nobody"

kernel_modules "$root" vhci-hcd usbhid hid-generic

cp -r "$data/." "$root/t/"
cp "$here/guest.sh" "$here/checks.sh" "$root/t/"
for f in "$host"/*.out "$host/dump.bin" "$host/verified.bin" "$host"/flash-*.bin; do
    cp "$f" "$root/t/expected/"
done
(cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$work/initrd.gz"

# --- boot; the guest powers itself off, the time limit stops a hung one
console="$work/console.log"
rm -f "$console"
set +e
timeout "$guest_seconds" qemu-system-x86_64 -accel tcg -m 512 -smp 1 -nodefaults -no-reboot \
    -display none -serial "file:$console" -kernel "$vmlinuz" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1" </dev/null
qemu_status=$?
set -e
# The guest's lines, its summary last (the kernel's power-down line would
# otherwise follow it).
summary_pattern='^[0-9]+ passed, [0-9]+ failed$'
tr -d '\r' <"$console" | grep -v -E -e '^$' -e "$summary_pattern" || true
if [ "$qemu_status" = 124 ]; then
    echo "kernel test: the guest did not finish within $guest_seconds s"
    exit 1
fi
summary=$(tr -d '\r' <"$console" | grep -E "$summary_pattern" | tail -n 1)
[ -n "$summary" ] || { echo "kernel test: the guest gave no result"; exit 1; }
echo "$summary"
case "$summary" in
*" 0 failed") exit 0 ;;
*) exit 1 ;;
esac
