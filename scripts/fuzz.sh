#!/bin/sh
# Builds the fuzz targets with clang and runs each on a copy of its seed
# corpus (fuzz/corpus/TARGET).
#
#   scripts/fuzz.sh              every target for a fixed number of inputs
#                                from a fixed seed, so every run does the
#                                same work (CI)
#   scripts/fuzz.sh --long [N]   every target for N inputs, or for N seconds
#                                when N ends in "s" (default 600s), then a
#                                table of executions and coverage
#
# Exits non-zero as soon as a target crashes or breaks an invariant; the
# input that did it is kept in build-fuzz/fuzz-work/TARGET/artifacts/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build-fuzz"
targets="ini_fuzz reply_fuzz image_fuzz sim_config_fuzz lock_record_fuzz"

long=""
limit=""
if [ "${1:-}" = "--long" ]; then
    long=1
    limit="${2:-600s}"
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DRTD_FUZZ=ON -DBUILD_TESTING=OFF -DRTD_BENCH=OFF \
    -DRTD_WERROR="${RTD_WERROR:-OFF}" >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" --target $targets

# Inputs per target in CI: the five together take about a minute and a
# half on a 2-core machine (the reply and image targets run a few hundred
# inputs a second, the text parsers and the lock record thousands).
ci_runs() {
    case "$1" in
        ini_fuzz) echo 50000 ;;
        reply_fuzz) echo 20000 ;;
        image_fuzz) echo 10000 ;;
        sim_config_fuzz) echo 200000 ;;
        lock_record_fuzz) echo 200000 ;;
    esac
}

summary=""
for target in $targets; do
    corpus_name=${target%_fuzz}
    work="$build/fuzz-work/$target"
    rm -rf "$work"
    # libFuzzer adds what it finds to its first corpus directory: give it a copy.
    mkdir -p "$work/corpus" "$work/artifacts"
    cp "$root/fuzz/corpus/$corpus_name"/* "$work/corpus/"
    if [ -n "$long" ]; then
        case "$limit" in
            *s) budget="-max_total_time=${limit%s}" ;;
            *) budget="-runs=$limit" ;;
        esac
        options="$budget -print_final_stats=1"
    else
        options="-runs=$(ci_runs "$target") -seed=1"
    fi
    echo "=== $target ($options) ==="
    log="$work/log"
    # shellcheck disable=SC2086
    if ! UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 \
        "$build/bin/$target" $options -max_len=4096 -timeout=20 -rss_limit_mb=2048 \
            -artifact_prefix="$work/artifacts/" "$work/corpus" >"$log" 2>&1; then
        cat "$log"
        echo "$target FAILED; the input is in $work/artifacts/" >&2
        exit 1
    fi
    tail -n 3 "$log"
    if [ -n "$long" ]; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
        done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
        cov=$(echo "$done_line" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
        ft=$(echo "$done_line" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
        corp=$(echo "$done_line" | sed -n 's/.*corp: \([0-9]*\).*/\1/p')
        speed=$(echo "$done_line" | sed -n 's/.*exec\/s: \([0-9]*\).*/\1/p')
        summary="$summary$(printf '%-16s %12s %8s %8s %8s %8s' "$target" "$runs" "$speed" \
            "$cov" "$ft" "$corp")
"
    fi
done

if [ -n "$long" ]; then
    echo
    printf '%-16s %12s %8s %8s %8s %8s\n' target executions exec/s cov features corpus
    printf '%s' "$summary"
fi
