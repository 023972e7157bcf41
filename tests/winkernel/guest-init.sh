#!/bb/sh
# /init of the Windows device test's guest: loads the USB/IP, HID, virtio
# and 9p modules, takes the host's /usr (Wine, the Linux program's
# libraries) read-only and the test's folder read-write over 9p, and runs the
# steps twice, each time on three freshly plugged virtual programmers:
# rtdprog-cli.exe (and last the window rtdprog.exe, on a virtual display)
# under Wine through HID.DLL, then the Linux rtdprog-cli through hidraw. The
# outputs go back to the host, which compares them.
export PATH=/bb
. /t/guest.sh
. /t/stop-read.sh
start_guest
# /dev as a device manager keeps it, of a few lines: links to the kernel's
# nodes, and each hidraw node made at once with its final mode once the
# kernel's opens (the driver is ready), and removed with the device. Wine 8's device bus, reading hidraw itself, takes the two
# events of a node that devtmpfs makes and then gives its mode for a plug-in
# and a removal, and loses the device: a programmer attached after Wine
# started would never be seen.
mkdir /devtmpfs
mount --move /dev /devtmpfs
mount -t tmpfs -o mode=0755 tmpfs /dev
for f in /devtmpfs/*; do
    n=${f#/devtmpfs/}
    case $n in hidraw*) ;; *) ln -s "$f" "/dev/$n" ;; esac
done
mirror_hidraw() {
    while :; do
        for f in /devtmpfs/hidraw*; do
            [ -e "$f" ] && [ ! -e "/dev/${f#/devtmpfs/}" ] || continue
            (: <"$f") 2>/dev/null || continue
            set -- $(stat -c '%t %T' "$f")
            mknod -m 0600 "/dev/${f#/devtmpfs/}" c $((0x$1)) $((0x$2))
        done
        for f in /dev/hidraw*; do
            [ -e "$f" ] && [ ! -e "/devtmpfs/${f#/dev/}" ] && rm -f "$f"
        done
        usleep 50000
    done
}
mirror_hidraw &
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose,ro usr /usr
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=mmap share /share
mount -t tmpfs tmpfs /tmp
hostname guest
export PATH=/bb:/opt/rtdprog/linux:/usr/bin:/usr/lib/wine HOME=/root USER=root LC_ALL=C
export WINEPREFIX=/share/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINESERVER=/usr/lib/wine/wineserver FONTCONFIG_FILE=/etc/fonts.conf
started=$(date +%s)

say() { echo "guest $(($(date +%s) - started))s: $*"; }

# The count it stopped at tells a slow bus from a device that never came.
wait_hidraw_said() {
    wait_hidraw "$1" && return 0
    say "still $(hidraw_count) hidraw devices, not $1"
    return 1
}

stop_servers() {
    for pid in $servers; do kill -TERM "$pid"; done
    for pid in $servers; do wait "$pid"; done
    servers=""
    wait_hidraw_said 0
}

# The program of this pass with --comm-log and the arguments; outputs in
# NAME.out, NAME.err, NAME.status. Wine's output goes to files only: its
# services would keep a pipe open.
run() {
    name=$1
    program=$2
    shift 2
    if [ "$pass" = windows ]; then
        wine64 "/opt/rtdprog/windows/$program" --comm-log "$@" >"$name.out" 2>"$name.err" </dev/null
    else
        rtdprog-cli --comm-log "$@" >"$name.out" 2>"$name.err" </dev/null
    fi
    echo $? >"$name.status"
}

check_list() {
    # Wine's bus may show the programmers a moment after its start: the
    # listing is asked again while it shows fewer than all three (its last run
    # is the step's). Programmers that are shown but fail are the result.
    i=0
    while [ $i -lt 15 ]; do
        run "$1" rtdprog-cli-wine8.exe list
        [ "$(grep -c '^[^ ]*  ' "$1.out")" -ge 3 ] && break
        i=$((i + 1))
    done
    say "$1: exit status $(cat "$1.status") after $i incomplete listings"
}

use_config() {
    serial=$(sed -n 's/^serial=//p' "$1.cfg")
    serial=${serial:-12345}
}

check() {
    name=$1
    shift
    run "$name" rtdprog-cli-wine8.exe --device "$serial" "$@"
    say "$name: exit status $(cat "$name.status")"
}

check_unmodified() {
    name=$1
    shift
    [ "$pass" = windows ] || return 0
    run "$name" rtdprog-cli.exe "$@"
    say "$name: exit status $(cat "$name.status")"
}

stop_read() {
    name=$1
    # (a shell starts background commands with SIGINT ignored: reset it;
    # Wine turns SIGINT into the console's Ctrl-C event)
    if [ "$pass" = windows ]; then
        /usr/bin/env --default-signal=INT wine64 /opt/rtdprog/windows/rtdprog-cli-wine8.exe \
            --device "$serial" --comm-log read "$2" >"$name.out" 2>"$name.err" </dev/null &
    else
        /usr/bin/env --default-signal=INT rtdprog-cli \
            --device "$serial" --comm-log read "$2" >"$name.out" 2>"$name.err" </dev/null &
    fi
    interrupt_read $! "$name.err" 120 "$name.status"
    say "$name: exit status $(cat "$name.status")"
}

# The program of this pass on the slow programmer, in the background, with
# --comm-log and the arguments: outputs as run's; $writer is its process.
start() {
    name=$1
    shift
    if [ "$pass" = windows ]; then
        wine64 /opt/rtdprog/windows/rtdprog-cli-wine8.exe --device 40962 --comm-log "$@" \
            >"$name.out" 2>"$name.err" </dev/null &
    else
        rtdprog-cli --device 40962 --comm-log "$@" >"$name.out" 2>"$name.err" </dev/null &
    fi
    writer=$!
}

two_programs() {
    step=$1  # (run and start set name)
    start "$step-write" --no-backup write --yes image-busy.bin
    i=0
    # (grep -c says 0 and fails when nothing matches)
    while [ $i -lt 1200 ] && kill -0 "$writer" 2>/dev/null; do
        logged=$(grep -c 'CMD:' "$step-write.err" 2>/dev/null)
        [ "${logged:-0}" -lt 20 ] || break
        usleep 100000
        i=$((i + 1))
    done
    run "$step-refused" rtdprog-cli-wine8.exe --device 40962 read "$step-refused.bin"
    kill -0 "$writer" 2>/dev/null
    echo $? >"$step-overlap.status"
    run "$step-waited" rtdprog-cli-wine8.exe --device 40962 --wait-busy 300 read \
        "$step-waited.bin"
    wait "$writer"
    echo $? >"$step-write.status"
    say "$step: write $(cat "$step-write.status"), refused $(cat "$step-refused.status"), waited $(cat "$step-waited.status")"
}

# The window of this pass (the Windows one only) on the programmers plugged
# in, on the virtual display: it must show the one it connects to in its
# status bar, keep it from a command line started meanwhile, take a detach
# of every programmer for an unplug, and connect again after an attach of
# its own. (Between operations the window takes whichever programmer it
# finds: were others left attached, it would simply go on with one of them.)
# The probe reads the window from outside; NAME-*.status-bar hold what the
# status bar said at each point, NAME-*.log the log, NAME-*.bmp pictures.
probe() { wine64 /opt/rtdprog/windows/rtdprog-window-probe.exe "$@" </dev/null; }
the_window() {
    win=$1  # (run sets name)
    [ "$pass" = windows ] || return 0
    wine64 /opt/rtdprog/windows/rtdprog-wine8.exe >"$win.out" 2>&1 </dev/null &
    window=$!
    probe wait 'is connected' 300 >"$win-connected.status-bar"
    probe picture "$win-connected.bmp"
    say "$win: connected: $(cat "$win-connected.status-bar")"
    # The programmer it took, by the name its status bar shows.
    case "$(cat "$win-connected.status-bar")" in
    *'Bench programmer 2'*) held=second ;;
    *'Bench programmer 3'*) held=busy ;;
    *) held=main ;;
    esac
    use_config "$held"
    run "$win-refused" rtdprog-cli-wine8.exe --device "$serial" info
    say "$win: a command line meanwhile: exit status $(cat "$win-refused.status")"
    for pid in $servers; do kill -USR1 "$pid"; done
    probe wait 'Controller is disconnected' 120 >"$win-unplugged.status-bar"
    probe log >"$win-unplugged.log"
    probe picture "$win-unplugged.bmp"
    say "$win: detached: $(cat "$win-unplugged.status-bar")"
    eval "kill -USR2 \$server_$held"
    wait_hidraw_said 1
    ls -l /dev/hidraw* /devtmpfs/hidraw* >"$win-nodes.txt" 2>&1
    probe wait 'is connected' 120 >"$win-replugged.status-bar"
    probe log >"$win-replugged.log"
    say "$win: attached again: $(cat "$win-replugged.status-bar")"
    probe close
    wait "$window"
    echo $? >"$win.status"
}

. /t/steps.sh
for pass in windows linux; do
    dir=/t/$pass
    mkdir -p "$dir"
    cp /t/data/* "$dir/"
    cd "$dir"
    servers=""
    for config in main second busy; do
        rtdprog-usbip --attach "$dir/$config.cfg" 2>>"$dir/server.log" &
        servers="$servers $!"
        eval "server_$config=$!"
        wait_hidraw_said "$(echo $servers | wc -w)" || echo "$config did not appear" >>server.log
    done
    if [ "$pass" = windows ]; then
        # The virtual display, there before Wine starts: Wine's desktop
        # belongs to the display it started on.
        Xvfb :1 -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
        display=$!
        export DISPLAY=:1
        # A persistent server, and one trivial program that starts Wine's
        # services (and its device bus) once; a second start would make
        # the bus fight itself.
        wineserver -p
        wine64 /opt/rtdprog/windows/rtdprog-cli-wine8.exe --version >version.out 2>&1 </dev/null
        say "Wine started"
    fi
    steps
    stop_servers
    if [ "$pass" = windows ]; then
        wineserver -k
        kill "$display"
        unset DISPLAY
    fi
    say "$pass pass done"
    mkdir -p "/share/results/$pass"
    cp "$dir"/* "/share/results/$pass/"
done
cd /
sync
umount /share
echo "guest finished"
poweroff -f
