#!/bin/sh
# The Windows device path, end to end: boots Debian 12's kernel under qemu
# (TCG) with the host's /usr (and so its Wine) shared read-only, plugs the
# virtual programmer into the kernel's virtual host controller with
# rtdprog-usbip, and runs rtdprog-cli.exe under Wine through HID.DLL, Wine's
# device bus and hidraw; then the Linux rtdprog-cli on the same device. On
# the host the same steps run on --simulate, with rtdprog-cli.exe under Wine
# and with the Linux program. Every output, every communication log (request
# for request) and every file must be the same on all four, so the checks
# hold whatever the operations print.
#
# Wine 8 reports the device's strings wrongly (see wine8_strings.cpp): the
# steps run rtdprog-cli-wine8.exe, the program with that one fault put
# right, and the product's rtdprog-cli.exe must reject the device exactly as
# it rejects a simulated one with Wine 8's strings.
#
# Usage: tests/winkernel/windows-kernel-test.sh BUILD_DIR WINDOWS_BUILD_DIR
# Needs: qemu-system-x86, busybox-static, cpio, wine64 (scripts/packages.txt)
# and Debian's package registry for the kernel package, fetched once into
# WINDOWS_BUILD_DIR/winkernel-test and unpacked there (never installed).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
winbuild=$(cd "$2" && pwd)
work="$winbuild/winkernel-test"
guest_seconds=${RTD_WINDOWS_KERNEL_TEST_SECONDS:-900}
test_name="windows kernel test"
. "$here/../kernel/kernel-package.sh"
. "$here/../kernel/checks.sh"
. "$here/stop-read.sh"
mkdir -p "$work"

for f in "$build/bin/rtdprog-cli" "$build/bin/rtdprog-usbip" "$build/bin/jedec.ini" \
    "$winbuild/bin/rtdprog-cli.exe" "$winbuild/bin/rtdprog-cli-wine8.exe" \
    "$winbuild/bin/rtdprog-wine8.exe" "$winbuild/bin/rtdprog-window-probe.exe" \
    "$winbuild/bin/jedec.ini"; do
    [ -e "$f" ] || { echo "windows kernel test: $f is missing; build first" >&2; exit 1; }
done
wine=$(sed -n 's/^RTD_WINE64:FILEPATH=//p' "$winbuild/CMakeCache.txt" 2>/dev/null || true)
[ -x "$wine" ] || wine=/usr/lib/wine/wine64
wineserver=$(dirname "$wine")/wineserver
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C

# --- the kernel package: the kernel, the USB and HID drivers, and virtio's
# 9p for the shares
kernel_package "$work" drivers/usb drivers/hid drivers/virtio net/9p fs/9p fs/netfs fs/fscache

# --- the Wine prefix, made once on the host (in the guest it takes
# minutes). Wine's device bus reads hidraw itself: no SDL, no udevd there.
template="$work/prefix-template"
if [ ! -e "$template/.rtd-ready" ]; then
    rm -rf "$template"
    WINEPREFIX="$template" "$wine" wineboot --init >/dev/null 2>&1
    for value in 'Enable SDL' DisableUdevd; do
        data=0
        [ "$value" = DisableUdevd ] && data=1
        WINEPREFIX="$template" "$wine" reg add 'HKLM\System\CurrentControlSet\Services\winebus' \
            /v "$value" /t REG_DWORD /d "$data" /f >/dev/null 2>&1
    done
    WINEPREFIX="$template" "$wineserver" -w
    touch "$template/.rtd-ready"
fi
# The run's own prefix: hard links (Wine replaces the files it changes).
share="$work/share"
rm -rf "$share"
mkdir -p "$share/results"
cp -al "$template" "$share/prefix"
export WINEPREFIX="$share/prefix"

# --- the test data
data="$work/data"
rm -rf "$data"
mkdir -p "$data"
blank() { head -c "$1" /dev/zero | tr '\000' '\377'; }
# Small chips: every report takes its way through Wine's device stack and
# an emulated machine. The main one, 128 KiB, as the boards come in: no
# blank page anywhere.
printf '%s\n' 'jedec=EF3011' 'size=131072' 'image=flash-main.bin' >"$data/main.cfg"
head -c 131072 /dev/urandom >"$data/flash-main.bin"
cp "$data/flash-main.bin" "$work/flash-start.bin"
# The image to write: data with blank pages between, and a blank 64 KiB block.
{
    head -c 33024 /dev/urandom
    blank 768
    head -c 1024 /dev/urandom
    blank 30720
    blank 65536
} >"$data/image.bin"
# The second programmer: another chip of 64 KiB, not blank.
printf '%s\n' 'jedec=C22010' 'size=65536' 'image=flash-second.bin' 'serial=40961' \
    'name=Bench programmer 2' >"$data/second.cfg"
head -c 65536 /dev/urandom >"$data/flash-second.bin"
# The programmer as Wine 8 shows it: the manufacturer "hidraw", the product
# the kernel's name of the hidraw device.
printf '%s\n' 'attached=0' 'decoy=manufacturer=hidraw product="QEL ZEZ2662-IDAD"' \
    'decoy=manufacturer=hidraw product="QEL ZEZ2662-IDAD"' >"$data/unmodified.cfg"
# The third programmer: a chip of 64 KiB behind a slow link, so that a
# write on it lasts long enough for a second program to meet it (in the
# guest only), and the image written to it.
printf '%s\n' 'jedec=EF3010' 'size=65536' 'image=flash-busy.bin' 'serial=40962' \
    'name=Bench programmer 3' 'transfer-us=8000' >"$data/busy.cfg"
head -c 65536 /dev/urandom >"$data/flash-busy.bin"
head -c 65536 /dev/urandom >"$data/image-busy.bin"
# On --simulate a read takes well under a second; slowed down, the stop
# comes in the middle of it.
{ cat "$data/main.cfg"; echo 'transfer-us=4000'; } >"$data/slow.cfg"

# --- the host's runs on --simulate
sim_run() {  # SIDE
    side=$1
    dir="$work/sim-$side"
    rm -rf "$dir"
    mkdir -p "$dir/bin"
    cp "$data"/* "$dir/"
    if [ "$side" = windows ]; then
        cp "$winbuild/bin/rtdprog-cli.exe" "$winbuild/bin/rtdprog-cli-wine8.exe" \
            "$winbuild/bin/jedec.ini" "$dir/bin/"
    else
        cp "$build/bin/rtdprog-cli" "$build/bin/jedec.ini" "$dir/bin/"
    fi
    (
        cd "$dir"
        set +e
        # The programs the guest runs: the steps' and the product's own.
        if [ "$side" = windows ]; then
            steps_program="$wine $dir/bin/rtdprog-cli-wine8.exe"
            product_program="$wine $dir/bin/rtdprog-cli.exe"
        else
            steps_program="$dir/bin/rtdprog-cli"
            product_program=""
        fi
        use_config() {
            config=$1
            serial=$(sed -n 's/^serial=//p' "$config.cfg")
            serial=${serial:-12345}
        }
        # Every programmer of the guest, one configuration at a time.
        check_list() {
            status=0
            : >"$1.out"
            : >"$1.err"
            for c in main second busy; do
                $steps_program "--simulate=$c.cfg" --comm-log list >>"$1.out" 2>>"$1.err" </dev/null
                r=$?
                [ $r = 0 ] || status=$r
            done
            echo "$status" >"$1.status"
        }
        check() {
            name=$1
            shift
            $steps_program "--simulate=$config.cfg" --device "$serial" --comm-log "$@" \
                >"$name.out" 2>"$name.err" </dev/null
            echo $? >"$name.status"
        }
        check_unmodified() {
            name=$1
            shift
            [ -n "$product_program" ] || return 0
            $product_program --simulate=unmodified.cfg --comm-log "$@" \
                >"$name.out" 2>"$name.err" </dev/null
            echo $? >"$name.status"
        }
        stop_read() {
            # (a shell starts background commands with SIGINT ignored)
            env --default-signal=INT $steps_program --simulate=slow.cfg --device "$serial" \
                --comm-log read "$2" \
                >"$1.out" 2>"$1.err" </dev/null &
            interrupt_read $! "$1.err" 30 "$1.status"
        }
        # The guest's alone: --simulate meets two programs in the command
        # line's own tests (tests/cli/two_programs.sh), and the window in
        # its own (tests/winapp).
        two_programs() { :; }
        the_window() { :; }
        . "$here/steps.sh"
        steps
    )
}
sim_run windows
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
sim_run linux

# --- the initramfs: busybox, the modules, the programs, the steps, a
# minimal /etc; /usr comes from the host
root="$work/root"
rm -rf "$root"
mkdir -p "$root/bb" "$root/modules" "$root/opt/rtdprog/linux" "$root/opt/rtdprog/windows" \
    "$root/t/data" "$root/etc" "$root/usr" "$root/share" "$root/proc" "$root/sys" "$root/dev" \
    "$root/tmp" "$root/root" "$root/var/lib/xkb"
cp /bin/busybox "$root/bb/busybox"
for applet in $(/bin/busybox --list); do
    [ "$applet" = busybox ] || ln -s busybox "$root/bb/$applet"
done
for d in bin sbin lib lib64; do ln -s "usr/$d" "$root/$d"; done
cp "$here/guest-init.sh" "$root/init"
cp "$here/steps.sh" "$here/stop-read.sh" "$here/../kernel/guest.sh" "$root/t/"
cp "$data"/* "$root/t/data/"
for program in rtdprog-cli rtdprog-usbip; do
    strip -o "$root/opt/rtdprog/linux/$program" "$build/bin/$program"
done
cp "$build/bin/jedec.ini" "$root/opt/rtdprog/linux/"
cp "$winbuild/bin/rtdprog-cli.exe" "$winbuild/bin/rtdprog-cli-wine8.exe" \
    "$winbuild/bin/rtdprog-wine8.exe" "$winbuild/bin/rtdprog-window-probe.exe" \
    "$winbuild/bin/jedec.ini" "$root/opt/rtdprog/windows/"
# The window speaks English, the language of the texts looked for.
printf '[MainSettings]\r\nLang=1\r\n' >"$root/opt/rtdprog/windows/rtdprog.ini"
printf 'root:x:0:0::/root:/bin/sh\nnobody:x:65534:65534::/:/bin/sh\n' >"$root/etc/passwd"
printf 'root:x:0:\nnogroup:x:65534:\n' >"$root/etc/group"
cp /etc/ld.so.cache "$root/etc/"
printf '127.0.0.1 localhost guest\n' >"$root/etc/hosts"
# No font folders: fontconfig would otherwise scan the host's over 9p.
printf '<?xml version="1.0"?>\n<fontconfig><cachedir>/tmp/fontconfig</cachedir></fontconfig>\n' \
    >"$root/etc/fonts.conf"

kernel_modules "$root" virtio_pci 9pnet_virtio 9p vhci-hcd usbhid hid-generic
(cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$work/initrd.gz"

# --- boot; the guest powers itself off, the time limit stops a hung one.
# Under TCG every Wine process dies of a page fault unless SMAP is off.
console="$work/console.log"
rm -f "$console"
set +e
timeout "$guest_seconds" qemu-system-x86_64 -accel tcg -cpu max,-smap -m 1024 -smp 2 \
    -nodefaults -no-reboot -display none -serial "file:$console" \
    -kernel "$vmlinuz" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1" \
    -virtfs local,path=/usr,mount_tag=usr,security_model=none,readonly=on \
    -virtfs "local,path=$share,mount_tag=share,security_model=none" </dev/null
qemu_status=$?
set -e
tr -d '\r' <"$console" | grep -v -e '^$' || true
if [ "$qemu_status" = 124 ]; then
    echo "windows kernel test: the guest did not finish within $guest_seconds s"
    exit 1
fi

# --- the comparison: every check runs, whatever the one before it found
set +e
windows="$share/results/windows"
linux="$share/results/linux"
sim_windows="$work/sim-windows"
sim_linux="$work/sim-linux"
cmp_dir="$work/compared"
rm -rf "$cmp_dir"
mkdir -p "$cmp_dir"

# One step of one side as a single text: exit status, stdout, stderr. Line
# ends and the log's clock set aside, and the path of a listed programmer,
# which each system names its own way.
normalized() {  # DIR NAME
    {
        echo "exit status $(cat "$1/$2.status" 2>/dev/null)"
        # Each system lists the programmers in its own order.
        if [ "$2" = list ]; then
            tr -d '\r' <"$1/$2.out" | sed -E 's/^[^ ]+(  serial number)/PATH\1/' | sort
        else
            cat "$1/$2.out" 2>/dev/null
        fi
        echo "--- stderr"
        cat "$1/$2.err" 2>/dev/null
    } | tr -d '\r' | sed -E 's/^ *[0-9]+\.[0-9]{3} ([<>] CMD:)/\1/' |
        sed -E 's/^[^ ]+(  (serial number|identification failed|cannot be opened))/PATH\1/'
}

same() {  # LABEL NAME DIR_A DIR_B
    a="$cmp_dir/$1-a.$2"
    b="$cmp_dir/$1-b.$2"
    normalized "$3" "$2" >"$a"
    normalized "$4" "$2" >"$b"
    cmp -s "$a" "$b"
    r=$?
    verdict "$2: $1" $r
    [ $r = 0 ] || diff "$a" "$b" | head -n 20 | cut -c 1-160
}

same_bytes() {  # LABEL FILE...
    label=$1
    first=$2
    shift 2
    r=0
    for f in "$@"; do cmp -s "$first" "$f" || { r=1; echo "  $f differs from $first"; }; done
    verdict "$label" $r
}

if [ ! -d "$windows" ] || [ ! -d "$linux" ]; then
    echo "windows kernel test: the guest gave no results"
    exit 1
fi

steps_of() {
    use_config() { :; }
    check() { echo "check $1"; }
    check_list() { echo "check $1"; }
    check_unmodified() { echo "unmodified $1"; }
    stop_read() { echo "stop $1 $2"; }
    two_programs() { echo "two $1"; }
    the_window() { echo "window $1"; }
    . "$here/steps.sh"
    steps
}
steps_of >"$cmp_dir/steps"
while read -r kind name file; do
    case "$kind" in
    check)
        same "windows = simulated" "$name" "$windows" "$sim_windows"
        same "windows = linux" "$name" "$windows" "$linux"
        same "linux = simulated" "$name" "$linux" "$sim_linux"
        ;;
    unmodified)
        # Wine 8's strings: the product's own program must turn the device
        # down, exactly as it turns down a simulated one with them.
        same "the product's rtdprog-cli.exe rejects the device as Wine 8 shows it" \
            "$name" "$windows" "$sim_windows"
        ;;
    two)
        # The read started during the write sent nothing and was refused,
        # naming the writer, while the write went on; the read that waited
        # ran after it and found the image written.
        for side in "$windows" "$linux"; do
            label=windows
            [ "$side" = "$linux" ] && label=linux
            [ "$(cat "$side/$name-refused.status")" = 1 ] &&
                grep -q 'is in use by another program: rtdprog-cli' "$side/$name-refused.err" &&
                ! grep -q 'CMD:' "$side/$name-refused.err" && ! ls "$side/$name-refused.bin"* \
                >/dev/null 2>&1
            verdict "$name: $label refuses a read during the write, sending nothing" $?
            [ "$(cat "$side/$name-overlap.status")" = 0 ]
            verdict "$name: $label refused it while the write ran" $?
            [ "$(cat "$side/$name-write.status")" = 0 ] &&
                cmp -s "$side/flash-busy.bin" "$data/image-busy.bin"
            verdict "$name: $label completes the write, and the chip holds its image" $?
            [ "$(cat "$side/$name-waited.status")" = 0 ] &&
                cmp -s "$side/$name-waited.bin" "$data/image-busy.bin"
            verdict "$name: $label runs the read that waits after the write, on its image" $?
        done
        ;;
    window)
        # The window through HID.DLL on the kernel's device: read from its
        # status bar and its log, as the user sees them (Windows ends their
        # lines with CR LF).
        w="$windows/$name"
        for f in "$w"-*.status-bar "$w"-*.log; do tr -d '\r' <"$f" >"$f.txt"; done
        connected=$(sed -n 's/^\(Controller ".*" is connected\).*/\1/p' "$w-connected.status-bar.txt")
        [ -n "$connected" ]
        verdict "$name: the window connects to a programmer and names it in its status bar" $?
        [ "$(cat "$w-refused.status")" = 1 ] &&
            grep -q 'is in use by another program: rtdprog-wine8.exe (process' "$w-refused.err" &&
            ! grep -q 'CMD:' "$w-refused.err"
        verdict "$name: a command line started meanwhile on it is refused, naming the window" $?
        grep -qx 'Controller is disconnected' "$w-unplugged.status-bar.txt" &&
            grep -q 'Controller is disconnected \*' "$w-unplugged.log.txt"
        verdict "$name: the window takes a detach of the programmers for an unplug" $?
        [ -n "$connected" ] && grep -qF "$connected" "$w-replugged.status-bar.txt" &&
            grep -q 'Controller is connected \*' "$w-replugged.log.txt"
        verdict "$name: the window connects again after its programmer is attached" $?
        [ "$(cat "$w.status")" = 0 ]
        verdict "$name: the window closes" $?
        # Pictures to look at, beside the outputs.
        for shot in connected unplugged; do
            [ -s "$w-$shot.bmp" ] &&
                python3 "$here/../../scripts/bmp-to-png.py" "$w-$shot.bmp" "$work/$name-$shot.png"
        done
        ;;
    stop)
        # Where the stop falls differs; what the program says and how it ends
        # must not, and what it sent must be the start of a whole read.
        for side in "$windows" "$linux" "$sim_windows" "$sim_linux"; do
            normalized "$side" "$name" | grep -v 'CMD:' >"$side/$name.said"
            normalized "$side" "$name" | grep 'CMD:' >"$side/$name.log"
            normalized "$side" read | grep 'CMD:' >"$side/read.log"
        done
        same_bytes "$name: the same words and exit status on all four" \
            "$sim_windows/$name.said" "$windows/$name.said" "$linux/$name.said" \
            "$sim_linux/$name.said"
        for side in "$windows" "$linux"; do
            label=windows
            [ "$side" = "$linux" ] && label=linux
            sent=$(wc -l <"$side/$name.log")
            whole=$(wc -l <"$side/read.log")
            head -n "$sent" "$side/read.log" | cmp -s - "$side/$name.log" &&
                [ "$sent" -ge 200 ] && [ "$sent" -lt "$whole" ]
            verdict "$name: $label stopped in the middle of the read ($sent of $whole log lines, each as in the whole read)" $?
            ! ls "$side/$file"* >/dev/null 2>&1
            verdict "$name: $label leaves no file" $?
        done
        ;;
    esac
done <"$cmp_dir/steps"

# The Windows side found the programmer under HID.DLL's name for it.
grep -qi '^\\\\?\\hid#vid_ffff&pid_00ff' "$windows/list.out"
verdict "list: the path is HID.DLL's device path of the programmer's ids" $?
# The comparisons above mean something only when the log is there: a
# request and a reply for every 256 bytes of the read (128 KiB).
[ "$(grep -c '> CMD:' "$windows/read.err")" -ge 512 ] &&
    [ "$(grep -c '< CMD:' "$windows/read.err")" -ge 512 ]
verdict "read: windows logs every request and reply" $?

same_bytes "read-content: the dump is the chip, byte for byte, on all four" "$work/flash-start.bin" \
    "$windows/dump.bin" "$linux/dump.bin" "$sim_windows/dump.bin" "$sim_linux/dump.bin"
same_bytes "verified-read-content: the image written, on all four" "$data/image.bin" \
    "$windows/verified.bin" "$linux/verified.bin" "$sim_windows/verified.bin" \
    "$sim_linux/verified.bin"
for chip in main second; do
    same_bytes "flash-content-$chip: the chip at the end, on all four" \
        "$sim_linux/flash-$chip.bin" "$windows/flash-$chip.bin" "$linux/flash-$chip.bin" \
        "$sim_windows/flash-$chip.bin"
done
for side in windows linux; do
    if [ -s "$share/results/$side/server.log" ]; then
        echo "--- rtdprog-usbip said ($side):"
        cat "$share/results/$side/server.log"
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ] && [ "$passed" -gt 0 ]
