#!/usr/bin/env bash
# Runs every libFuzzer program of a fuzz build for a while and sums up what each found.
#
# Usage: fuzz/run_all.sh <fuzz-build-dir> [SECONDS] [TARGET...]
#   SECONDS  run time of each target (default 60)
#   TARGET   only these targets (names without _fuzzer); default all that the build made
# Environment: FUZZ_PARALLEL  targets run at once (default 3)
# Extra libFuzzer flags of a target, when it needs any: the one line of fuzz/options/<target>.options
# (ended by a line break); a dictionary: fuzz/dict/<target>.dict.
#
# Each target starts from its seed corpus in fuzz/corpus/<target>/, which it only reads; what it
# learns goes to <build>/fuzz-work/<target>/ and is kept for the next run. An input that makes a
# target fail lands in <build>/fuzz-artifacts/<target>/: replay it with the target's program (or its
# _replay program), and once the fault is mended, add it to fuzz/corpus/<target>/ under a name that
# says what it found, so that CTest replays it for good. Ends with status 1 when any target failed.
set -euo pipefail

build=${1:?usage: $0 <fuzz-build-dir> [SECONDS] [TARGET...]}
secs=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$build" && pwd)
parallel=${FUZZ_PARALLEL:-3}
# Leaks inside the libraries we call, each with its reason.
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for program in "$build"/fuzz/*_fuzzer; do
        [ -x "$program" ] && targets+=("$(basename "$program" _fuzzer)")
    done
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "run_all: no fuzz programs in $build/fuzz; configure with -DVORN_FUZZ=ON and build first" >&2
    exit 2
fi

logs="$build/fuzz-logs"
mkdir -p "$logs"
# Findings of earlier runs stay where they are; only those newer than this marker count for this run.
started="$logs/.started"
touch "$started"

run_one() { # target
    local target=$1
    local program="$build/fuzz/${target}_fuzzer"
    local work="$build/fuzz-work/$target"
    local artifacts="$build/fuzz-artifacts/$target/"
    local options=()
    mkdir -p "$work" "$artifacts"
    [ -f "$here/dict/$target.dict" ] && options+=("-dict=$here/dict/$target.dict")
    [ -f "$here/options/$target.options" ] && read -r -a extra < "$here/options/$target.options" && options+=("${extra[@]}")
    # -timeout: one input running longer than this is a hang, reported like a crash.
    "$program" -max_total_time="$secs" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
        -artifact_prefix="$artifacts" "${options[@]}" "$work" "$here/corpus/$target" \
        > "$logs/$target.log" 2>&1 || true
}

echo "Fuzzing ${#targets[@]} targets for $secs s each, $parallel at a time; logs in $logs"
running=0
for target in "${targets[@]}"; do
    if [ ! -x "$build/fuzz/${target}_fuzzer" ]; then
        echo "run_all: no program for target $target" >&2
        exit 2
    fi
    run_one "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$parallel" ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

status=0
printf '\n| target | executions | corpus | findings |\n|---|---:|---:|---|\n'
for target in "${targets[@]}"; do
    log="$logs/$target.log"
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    corpus=$(find "$build/fuzz-work/$target" -type f | wc -l)
    findings=$(find "$build/fuzz-artifacts/$target" -type f -newer "$started" \
        \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    summary=$(grep -m1 -E '^SUMMARY: ' "$log" | sed 's/^SUMMARY: //' || true)
    if [ -z "$executions" ] || [ "$findings" -gt 0 ] || [ -n "$summary" ]; then
        status=1
        note="${summary:-ended without statistics, see $log}"
        [ "$findings" -gt 0 ] && note="$findings input(s) in $build/fuzz-artifacts/$target: $note"
    else
        note="none"
    fi
    printf '| %s | %s | %s | %s |\n' "$target" "${executions:-?}" "$corpus" "$note"
done
exit $status
