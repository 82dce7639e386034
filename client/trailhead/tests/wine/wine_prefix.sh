#!/usr/bin/env bash
# The throw-away Wine prefix of one test run of trailhead's Wine tests (CTest fixture).
#
#   wine_prefix.sh setup PREFIX WINE WINESERVER     remove any old prefix, create a new one, keep its server up
#   wine_prefix.sh cleanup PREFIX WINE WINESERVER   stop the prefix's server and remove the prefix
#
# When Wine cannot start here (not installed, the prefix cannot be made), setup writes the reason to
# PREFIX.unavailable, prints it and exits 77, which CTest reports as skipped; the tests that use the
# prefix read that file and report themselves skipped with the same reason.
#
# Wine keeps its server's folder (wine-XXXXXX) in the temp folder and leaves it there when the server
# ends: the prefix has its own, PREFIX.tmp, removed by the cleanup. Every program run in the prefix must
# have TMPDIR=PREFIX.tmp too, so that it finds the prefix's server there.
#
# Everything runs without a display and without prompts: no Mono or Gecko installer, no desktop menu
# entries, no debug output.
set -uo pipefail

action=${1:?action}
prefix=${2:?prefix}
wine=${3:-}
wineserver=${4:-}
marker="$prefix.unavailable"

# Creating a prefix takes tens of seconds on a busy machine; more than this means Wine is stuck.
setup_timeout_seconds=180
# The server outlives its last program by this long, so the tests reuse it instead of starting one per
# program, and it still goes away by itself when the cleanup never runs.
server_linger_seconds=60

export WINEPREFIX="$prefix"
export TMPDIR="$prefix.tmp"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
# Wine links the prefix's user folders to the home folder; CI may have none.
if [ -z "${HOME:-}" ] || [ ! -d "$HOME" ]; then
    export HOME="$(dirname "$prefix")"
fi

unavailable() {
    echo "$*" >"$marker"
    echo "SKIPPED: $*"
    exit 77
}

case "$action" in
setup)
    rm -rf "$prefix" "$marker" "$TMPDIR"
    mkdir -p "$TMPDIR" || unavailable "cannot create $TMPDIR"
    [ -n "$wine" ] && [ -x "$wine" ] || unavailable "Wine is not installed (package wine64)"
    [ -n "$wineserver" ] && [ -x "$wineserver" ] || unavailable "the Wine server is not installed (package wine64)"
    mkdir -p "$prefix" || unavailable "cannot create $prefix"
    log="$prefix.log"
    # The server and the programs that wineboot leaves running outlive this script: none of them may
    # hold its standard output open, or CTest would wait for them.
    "$wineserver" -p"$server_linger_seconds" </dev/null >>"$log" 2>&1 || unavailable "the Wine server does not start"
    if ! timeout "$setup_timeout_seconds" "$wine" wineboot --init </dev/null >>"$log" 2>&1; then
        reason="creating the Wine prefix failed: $(tail -n 3 "$log" | tr '\n' ' ')"
        "$wineserver" -k </dev/null >/dev/null 2>&1
        unavailable "$reason"
    fi
    # The prefix is usable when a program of it runs and answers.
    answer=$(timeout "$setup_timeout_seconds" "$wine" cmd /c echo ready </dev/null 2>>"$log" | tr -d '\r')
    if [ "$answer" != "ready" ]; then
        "$wineserver" -k </dev/null >/dev/null 2>&1
        unavailable "the new Wine prefix does not run programs: $(tail -n 3 "$log" | tr '\n' ' ')"
    fi
    rm -f "$log"
    echo "Wine prefix ready: $prefix"
    ;;
cleanup)
    if [ -d "$prefix" ] && [ -n "$wineserver" ] && [ -x "$wineserver" ]; then
        "$wineserver" -k </dev/null >/dev/null 2>&1
        "$wineserver" -w </dev/null >/dev/null 2>&1
    fi
    rm -rf "$prefix" "$marker" "$prefix.log" "$TMPDIR"
    ;;
*)
    echo "usage: $0 setup|cleanup PREFIX WINE WINESERVER" >&2
    exit 2
    ;;
esac
