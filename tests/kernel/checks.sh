# The verdict of every check of the device tests, counted for the summary
# "N passed, M failed" that ends each run. Sourced on the host and in the
# guest (busybox's sh).
passed=0
failed=0

verdict() {  # NAME RESULT(0 = pass)
    if [ "$2" = 0 ]; then
        echo "PASS $1"
        passed=$((passed + 1))
    else
        echo "FAIL $1"
        failed=$((failed + 1))
    fi
}
