#!/usr/bin/env bash
# The main job of ./build.sh demo: runs plugin libraries the way the VMS server does, through the
# vms_plugin_host tool, and prints what they hand to the server (one JSON object per line).
#
# Usage: demo/run_demo.sh <release-build-dir>
#
# Until the camera plugins and their fake cameras join it, it drives the host's own test plugin:
# the plugin list, then one device run with every event and object type selected and one metadata
# packet handed over. Fails when a run does not end as expected or leaks an object.
set -euo pipefail

build=${1:?usage: $0 <release-build-dir>}
server="$build/platform/vms_server"
host="$server/vms_plugin_host"
for file in "$host" "$server/libvms_host_test_plugin.so" "$server/libvms_host_single_test_plugin.so"; do
    [ -e "$file" ] || { echo "run_demo: $file is missing; build the release tree first" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'demo metadata' > "$work/metadata.bin"

step() { # title, command...
    local title=$1; shift
    echo "== $title"
    local status=0
    "$@" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "run_demo: \"$title\" ended with status $status" >&2
        exit 1
    fi
}

step "Plugins and engines of the test library" \
    "$host" "$server/libvms_host_single_test_plugin.so" --list
step "A device run with every type selected and one packet handed over" \
    "$host" "$server/libvms_host_test_plugin.so" --vendor Demo --model M1 --url http://127.0.0.1/ \
        --events all --objects all --custom-packet "demo:$work/metadata.bin" --run-for 0
