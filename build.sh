#!/usr/bin/env bash
# One entry point for everything the project needs:
#   ./build.sh deps          install the Debian packages the build needs (idempotent, quiet when nothing is missing)
#   ./build.sh test          ASan + UBSan build in build/test, then CTest
#   ./build.sh tsan          ThreadSanitizer build in build/tsan, then every test but the fuzz replays
#   ./build.sh demo          release build of the demo's programs in build/release, then the demo (demo/run_demo.sh)
#   ./build.sh fuzz [SECS]   build the libFuzzer targets with clang and run each for SECS seconds (default 60)
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

packages=(
    build-essential cmake ninja-build pkg-config
    qtbase5-dev
    libboost1.81-dev libboost-json1.81-dev
    librapidxml-dev libzip-dev libssl-dev unzip
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix wine64
    zip python3
)

jobs() { nproc 2>/dev/null || echo 2; }

cmd_deps() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

configure() { # dir, extra args...
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
}

cmd_test() {
    cmd_deps
    configure build/test -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON
    cmake --build build/test -j "$(jobs)"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build/test --output-on-failure -j "$(jobs)" --timeout 300
}

cmd_tsan() {
    cmd_deps
    configure build/tsan -DCMAKE_BUILD_TYPE=Debug -DVORN_TSAN=ON
    cmake --build build/tsan -j "$(jobs)"
    # The fuzz replays are single-threaded parsers: nothing for ThreadSanitizer to find there. The
    # suppressions cover races inside the libraries we call, each with its reason.
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/cmake/tsan_suppressions.txt" \
        ctest --test-dir build/tsan --output-on-failure -j "$(jobs)" --timeout 300 -LE fuzz
}

cmd_demo() {
    cmd_deps
    configure build/release -DCMAKE_BUILD_TYPE=Release
    # The programs the demo runs, not the tests and benchmarks (./build.sh test, bench/run.sh).
    cmake --build build/release -j "$(jobs)" --target demo_programs
    "$root/demo/run_demo.sh" "$root/build/release"
}

cmd_fuzz() {
    cmd_deps
    local secs=${1:-60}
    CC=clang CXX=clang++ configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_FUZZ=ON
    cmake --build build/fuzz -j "$(jobs)"
    "$root/fuzz/run_all.sh" "$root/build/fuzz" "$secs"
}

case "${1:-}" in
    deps) cmd_deps ;;
    test) cmd_test ;;
    tsan) cmd_tsan ;;
    demo) cmd_demo ;;
    fuzz) shift; cmd_fuzz "$@" ;;
    *) echo "usage: $0 deps|test|tsan|demo|fuzz [SECONDS]" >&2; exit 2 ;;
esac
