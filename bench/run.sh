#!/usr/bin/env bash
# Runs every benchmark program and prints one table of all comparisons: each hot path, its time and
# allocations per operation, its baseline on the same bytes and the ratio of the two. Programs that
# measure other figures (bench_scale: threads, memory and latency of many agents) add tables of their
# own, printed after it.
#
# Usage: bench/run.sh [BUILD_DIR] [BENCHMARK_ARGS...]
#   BUILD_DIR       a Release build tree (default build/release); configured and built here when it
#                   does not exist yet, and its benchmark programs are brought up to date either way
#   BENCHMARK_ARGS  passed to every program, e.g. --benchmark_filter=VCA --benchmark_repetitions=5
#
# The programs' own console output goes to BUILD_DIR/bench-output.txt; the table goes to stdout and to
# BUILD_DIR/bench-table.md. Ratios, not times, are what compare across machines.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
[ $# -gt 0 ] && shift

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build=$(cd "$build" && pwd)
type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")
if [ "$type" != "Release" ] && [ "$type" != "RelWithDebInfo" ]; then
    echo "run.sh: $build is a $type build; times of an unoptimised build mean little" >&2
fi

# The programs are the targets that bench/ defines: bench_<area>.
programs=()
for folder in "$root"/bench/*/; do
    area=$(basename "$folder")
    [ -f "$folder/CMakeLists.txt" ] && [ "$area" != "support" ] && programs+=("bench_$area")
done
cmake --build "$build" --target "${programs[@]}" -j "${VORN_BENCH_JOBS:-4}" >/dev/null

table="$build/bench-table.md"
output="$build/bench-output.txt"
rows=$(mktemp)
figures=$(mktemp)
trap 'rm -f "$rows" "$figures"' EXIT
: > "$output"
for program in "${programs[@]}"; do
    path=$(find "$build/bench" -type f -name "$program" -perm -u+x | head -1)
    if [ -z "$path" ]; then
        echo "run.sh: $program was not built" >&2
        exit 1
    fi
    echo "running $program" >&2
    VORN_BENCH_TABLE="$rows" VORN_BENCH_FIGURES="$figures" "$path" --benchmark_color=false "$@" >> "$output" 2>&1
done

cat "$rows" "$figures" | tee "$table"
