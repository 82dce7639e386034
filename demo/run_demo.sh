#!/usr/bin/env bash
# The main job of ./build.sh demo: the larkspur plugin library, loaded and driven by vms_plugin_host the
# way the VMS server does, against fake Zodivadad cameras on 127.0.0.1:
#
#   1. a video-analytics camera pushes alarms of five kinds (motion, line crossing, region entrance,
#      people counting, a face with its image); the plugin turns them into event metadata;
#   2. a licence-plate camera pushes plates with two images each; the plugin turns each into a plate and
#      a vehicle object and their best shots.
#
# Both cameras ask for credentials (HTTP digest for the CGI scripts, digest registration on the push
# port, the login of the licence-plate port). The script prints what the plugin handed to the server
# (vms_plugin_host's event, object and best-shot lines), checks that everything pushed arrived and that
# no object of the plugin leaked, and stops every process it started.
#
# Usage: demo/run_demo.sh <release-build-dir>
# Exit status: 0 all arrived; 1 something is missing or failed (the logs of that step are printed).
set -euo pipefail

build=${1:?usage: $0 <release-build-dir>}
host="$build/platform/vms_server/vms_plugin_host"
larkspur="$build/vms/server/plugins/analytics/larkspur/liblarkspur.so"
camera="$build/testing/fake_zodivadad_camera/tool/fake_zodivadad_camera"
for file in "$host" "$larkspur" "$camera"; do
    [ -e "$file" ] || { echo "run_demo: $file is missing; build the release tree first" >&2; exit 1; }
done

readonly login=admin password=demo
readonly alarms=5 plates=3
# How long the host runs each camera's device agent: the pushes take about 1.5 s once the plugin is in.
readonly runSeconds=5
# larkspur's plugin for the brand "Zodivadad" (index 0 serves Zidezozi cameras).
readonly zodivadadPlugin=1

work=$(mktemp -d)
cameraPids=()
cleanup() {
    for pid in "${cameraPids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() { # message, log files...
    echo "run_demo: $1" >&2
    shift
    for log in "$@"; do
        [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; cat "$log" >&2; }
    done
    exit 1
}

# Starts a camera in the background and waits (at most 10 s) until it has written its ports.
start_camera() { # name, camera flags...
    local name=$1
    shift
    "$camera" --login "$login" --password "$password" --ports-file "$work/$name.ports" --run-for 120 "$@" \
        > "$work/$name.camera.log" 2>&1 &
    cameraPids+=($!)
    local tries=0
    until [ -s "$work/$name.ports" ]; do
        kill -0 "${cameraPids[-1]}" 2>/dev/null || fail "the $name camera did not start" "$work/$name.camera.log"
        tries=$((tries + 1))
        [ "$tries" -le 100 ] || fail "the $name camera did not report its ports" "$work/$name.camera.log"
        sleep 0.1
    done
}

port_of() { # name, port kind (http, vca, lpr)
    sed -n "s/.*$2=\([0-9]*\).*/\1/p" "$work/$1.ports"
}

# Runs the plugin's device agent for a camera, with every event and object type selected.
run_plugin() { # name, port setting
    local name=$1 setting=$2
    local status=0
    "$host" "$larkspur" --index "$zodivadadPlugin" --vendor Zodivadad --model ZV-IPC5000 \
        --url "http://127.0.0.1:$(port_of "$name" http)/" --login "$login" --password "$password" \
        --setting "$setting" --events all --objects all --run-for "$runSeconds" \
        > "$work/$name.lines" 2> "$work/$name.host.log" || status=$?
    [ "$status" -eq 0 ] || fail "vms_plugin_host ended with status $status for the $name camera" \
        "$work/$name.host.log" "$work/$name.camera.log"
}

count_kind() { # name, kind
    grep -c "^{\"kind\":\"$2\"" "$work/$1.lines" || true
}

# The camera's lines, then the host's lines of the given kinds in the order the plugin sent them.
show() { # name, kinds...
    local name=$1
    shift
    local kinds
    kinds=$(IFS='|'; echo "$*")
    sed 's/^/  /' "$work/$name.camera.log"
    grep -E "^\{\"kind\":\"($kinds)\"" "$work/$name.lines" | sed -E 's/^\{"kind":"([A-Za-z]+)"/  \1: &/' || true
}

expect() { # name, kind, at least
    local found
    found=$(count_kind "$1" "$2")
    [ "$found" -ge "$3" ] || fail "the $1 camera run gave $found $2 lines, not $3" \
        "$work/$1.host.log" "$work/$1.camera.log"
}

echo "== Video-analytics camera: $alarms alarms of five kinds become event metadata"
start_camera vca --alarms "$alarms"
run_plugin vca "VCA.Port=$(port_of vca vca)"
show vca eventPacket
expect vca eventPacket "$alarms"

echo
echo "== Licence-plate camera: $plates plates with two images each become objects and best shots"
start_camera lpr --lpr --plates "$plates"
run_plugin lpr "LPR.Port=$(port_of lpr lpr)"
show lpr objectPacket bestShot
expect lpr objectPacket "$plates"
expect lpr bestShot $((2 * plates))

for name in vca lpr; do
    grep -q '^{"kind":"leakCheck","live":0}' "$work/$name.lines" || fail "plugin objects leaked" "$work/$name.host.log"
done
echo
echo "== All pushes arrived as metadata; no plugin object leaked."
