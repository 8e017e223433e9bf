#!/bin/sh
# Runs fuzz targets one after the other, each for a given time, and reports
# what they found.
#   tests/fuzz/run.sh BUILD_DIR SECONDS [TARGET...]   (no TARGET: all of them)
# Each target starts from its checked-in corpus (tests/fuzz/corpus/<target>)
# and keeps the inputs it finds in BUILD_DIR/fuzz-corpus/<target>, outside
# the tree.  A failing input is written to BUILD_DIR/fuzz-artifacts/<target>/;
# its path and the command that replays it are printed, and the script fails.
# With FUZZ_FRESH=1 the kept inputs are dropped first: the run starts from
# the checked-in corpus alone.  FUZZ_FLAGS are passed on to libFuzzer.
set -u
build=$1
seconds=$2
shift 2
src=$(cd "$(dirname "$0")" && pwd)
bin=$build/tests/fuzz
if [ $# -eq 0 ]; then
    set -- $(cd "$src" && ls *_fuzz.cpp | sed 's/_fuzz\.cpp$//')
fi
failed=0
for t in "$@"; do
    exe=$bin/${t}_fuzz
    work=$build/fuzz-corpus/$t
    art=$build/fuzz-artifacts/$t
    log=$build/fuzz-logs/$t.log
    [ "${FUZZ_FRESH:-0}" = 1 ] && rm -rf "$work"
    mkdir -p "$work" "$art" "$build/fuzz-logs"
    echo "== fuzz $t for ${seconds}s (log $log)"
    # -timeout: an input that runs longer than 10 s counts as a hang.
    "$exe" -max_total_time="$seconds" -timeout=10 -max_len=1024 -print_final_stats=1 \
        -artifact_prefix="$art/" ${FUZZ_FLAGS:-} "$work" "$src/corpus/$t" >"$log" 2>&1
    rc=$?
    grep -E '^#[0-9]+ +DONE|^Done [0-9]+ runs|stat::number_of_executed_units' "$log" | head -3
    if [ $rc -ne 0 ]; then
        failed=1
        grep -E 'property broken|ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer)|runtime error' "$log" | head -5
        input=$(grep -o "Test unit written to .*" "$log" | tail -1 | sed 's/Test unit written to //')
        [ -n "$input" ] || input=$(ls -t "$art" 2>/dev/null | head -1 | sed "s|^|$art/|")
        echo "!! $t failed; reproducing input: $input"
        echo "!! replay: $exe $input"
    fi
done
exit $failed
