# The stopped read of the Windows device test, sourced on the host (its runs
# on --simulate) and in the guest.

# interrupt_read PID LOG SECONDS STATUS_FILE
# Stops the read that the program PID is doing in its middle, as Ctrl-C
# would: waits until it has logged some blocks into LOG (a request and a
# reply each), has ended, or SECONDS have passed; then sends it SIGINT and
# writes its exit status to STATUS_FILE.
interrupt_read() {
    i=0
    while [ $i -lt $(($3 * 10)) ] && kill -0 "$1" 2>/dev/null; do
        logged=$(grep -c 'CMD:' "$2" 2>/dev/null)
        [ "${logged:-0}" -lt 200 ] || break
        sleep 0.1
        i=$((i + 1))
    done
    kill -INT "$1" 2>/dev/null
    wait "$1"
    echo $? >"$4"
}
