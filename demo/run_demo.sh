#!/usr/bin/env bash
# The main job of ./build.sh demo: every deliverable against its fakes, one section each.
#
#   larkspur   the Zodivadad plugin, loaded and driven by vms_plugin_host the way the VMS server does,
#              against two fake Zodivadad cameras on 127.0.0.1: a video-analytics camera pushes alarms of
#              five kinds (event metadata), a licence-plate camera pushes plates with two images each
#              (plate and vehicle objects and their best shots);
#   hornbeam   the Uniview plugin against a fake Uniview camera: it takes the plugin's event subscription
#              and pushes alarms (event metadata) and faces with their pictures (objects and best shots);
#              the host hands over H.264 video packets whose SEI units carry the camera's tracks (objects);
#   quillwort  the Axis plugin against a fake Axis camera: its event catalogue becomes the event types,
#              ONVIF notification packets handed over by the host become events and plate objects, and the
#              camera's plate record search gives the plate's best shot;
#   launch     the launch chain: waypoint, the launcher, serves its pipe; over it the script pings it,
#              has it install a Velorin client version from a zip package, start that client (the real
#              velorin executable, which records its start) and quit;
#   trailhead  trailhead.exe, the 64-bit Windows start-up program, under Wine: it picks the folder of
#              the launcher by the per-user "launcher.version" and starts a stand-in waypoint.exe there,
#              which reports the command line it got. Without Wine (or the cross compiler) the section
#              says so and is skipped.
#
# Each section prints what the deliverable did, then one summary line; the end repeats the summary
# lines. A section runs as its own process with its own scratch folder and stops every process it
# started, whatever happens.
#
# Usage: demo/run_demo.sh <release-build-dir> [SECTION...]   (default: every section, in the order above)
# Exit status: 0 every section got what it expects (or was skipped and said why); 1 a section missed
# something (its logs are printed); 2 a usage error.
set -euo pipefail

readonly allSections=(larkspur hornbeam quillwort launch trailhead)
# A section that cannot run here (a missing platform tool) exits with this and names the reason.
readonly skipped=77
# Long JSON lines of vms_plugin_host are cut to this many characters on screen.
readonly screenLine=160

# --- Helpers of a running section -------------------------------------------------------------------

pids=()
work=""
summaryFile=""
# Files a section makes outside its scratch folder (the launcher's socket in /tmp); a process stopped
# by the clean-up has no chance to remove its own.
outside=()

cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    for file in "${outside[@]}"; do
        rm -f "$file"
    done
    [ -n "$work" ] && rm -rf "$work"
}

summary() { # words of the text
    echo "$*" > "$summaryFile"
}

fail() { # message, log files...
    summary "FAILED: $1"
    echo "run_demo: $1" >&2
    shift
    for log in "$@"; do
        [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; cat "$log" >&2; }
    done
    exit 1
}

skip() { # reason
    summary "skipped: $1"
    echo "  skipped: $1"
    exit "$skipped"
}

need() { # files...
    for file in "$@"; do
        [ -e "$file" ] || fail "$file is missing; build the release tree first"
    done
}

# Waits (at most 10 s) until the file has content, while the process that writes it is alive.
wait_for_file() { # file, pid, what, log
    local tries=0
    until [ -s "$1" ]; do
        kill -0 "$2" 2>/dev/null || fail "$3 did not start" "$4"
        tries=$((tries + 1))
        [ "$tries" -le 100 ] || fail "$3 did not start within 10 s" "$4"
        sleep 0.1
    done
}

# Lines of vms_plugin_host's output of one kind.
count_kind() { # lines file, kind
    grep -c "^{\"kind\":\"$2\"" "$1" || true
}

# The host's lines of the given kinds in the order the plugin sent them, indented, labelled and cut to
# a screen line (the whole lines are in the section's scratch folder while it runs).
show_kinds() { # lines file, kinds...
    local lines=$1
    shift
    local kinds
    kinds=$(IFS='|'; echo "$*")
    grep -E "^\{\"kind\":\"($kinds)\"" "$lines" | sed -E 's/^\{"kind":"([A-Za-z]+)"/  \1: &/' |
        sed -E "s/^(.{$screenLine}).+/\1…/" || true
}

# --- larkspur ---------------------------------------------------------------------------------------

section_larkspur() {
    local host="$build/platform/vms_server/vms_plugin_host"
    local larkspur="$build/vms/server/plugins/analytics/larkspur/liblarkspur.so"
    local camera="$build/testing/fake_zodivadad_camera/tool/fake_zodivadad_camera"
    need "$host" "$larkspur" "$camera"

    local login=admin password=demo alarms=5 plates=3
    # How long the host runs each camera's device agent: the pushes take about 1.5 s once the plugin is in.
    local runSeconds=5
    # larkspur's plugin for the brand "Zodivadad" (index 0 serves Zidezozi cameras).
    local zodivadadPlugin=1

    start_camera() { # name, camera flags...
        local name=$1
        shift
        "$camera" --login "$login" --password "$password" --ports-file "$work/$name.ports" --run-for 120 "$@" \
            > "$work/$name.camera.log" 2>&1 &
        pids+=($!)
        wait_for_file "$work/$name.ports" "${pids[-1]}" "the $name camera" "$work/$name.camera.log"
    }
    port_of() { # name, port kind (http, vca, lpr)
        sed -n "s/.*$2=\([0-9]*\).*/\1/p" "$work/$1.ports"
    }
    # Runs the plugin's device agent for a camera, with every event and object type selected.
    run_plugin() { # name, port setting
        local name=$1 setting=$2 status=0
        "$host" "$larkspur" --index "$zodivadadPlugin" --vendor Zodivadad --model ZV-IPC5000 \
            --url "http://127.0.0.1:$(port_of "$name" http)/" --login "$login" --password "$password" \
            --setting "$setting" --events all --objects all --run-for "$runSeconds" \
            > "$work/$name.lines" 2> "$work/$name.host.log" || status=$?
        [ "$status" -eq 0 ] || fail "vms_plugin_host ended with status $status for the $name camera" \
            "$work/$name.host.log" "$work/$name.camera.log"
        sed 's/^/  /' "$work/$name.camera.log"
    }
    expect() { # name, kind, at least
        local found
        found=$(count_kind "$work/$1.lines" "$2")
        [ "$found" -ge "$3" ] || fail "the $1 camera run gave $found $2 lines, not $3" \
            "$work/$1.host.log" "$work/$1.camera.log"
    }

    echo "-- Video-analytics camera: $alarms alarms of five kinds become event metadata"
    start_camera vca --alarms "$alarms"
    run_plugin vca "VCA.Port=$(port_of vca vca)"
    show_kinds "$work/vca.lines" eventPacket
    expect vca eventPacket "$alarms"

    echo "-- Licence-plate camera: $plates plates with two images each become objects and best shots"
    start_camera lpr --lpr --plates "$plates"
    run_plugin lpr "LPR.Port=$(port_of lpr lpr)"
    show_kinds "$work/lpr.lines" objectPacket bestShot
    expect lpr objectPacket "$plates"
    expect lpr bestShot $((2 * plates))

    for name in vca lpr; do
        grep -q '^{"kind":"leakCheck","live":0}' "$work/$name.lines" ||
            fail "plugin objects leaked" "$work/$name.host.log"
    done
    summary "$alarms alarms -> $(count_kind "$work/vca.lines" eventPacket) event packets; $plates plates ->" \
        "$(count_kind "$work/lpr.lines" objectPacket) object packets, $(count_kind "$work/lpr.lines" bestShot)" \
        "best shots; no plugin object leaked"
}

# --- hornbeam ---------------------------------------------------------------------------------------

section_hornbeam() {
    local host="$build/platform/vms_server/vms_plugin_host"
    local hornbeam="$build/vms/server/plugins/analytics/hornbeam/libhornbeam.so"
    local camera="$build/testing/fake_uniview_camera/tool/fake_uniview_camera"
    need "$host" "$hornbeam" "$camera"
    local login=admin password=demo alarms=3 faces=2
    # How long the host runs the device agent: the subscription and the pushes take about 2 s.
    local runSeconds=6

    # Video packets with the camera's track records in SEI units, as the server hands them over.
    python3 "$root/demo/make_video_packets.py" "$work/video" > "$work/video.list" ||
        fail "the video packets could not be written"
    local videoOptions=() frames=0
    while read -r file; do
        videoOptions+=(--video-packet "$file")
        frames=$((frames + 1))
    done < "$work/video.list"

    echo "-- A Uniview camera takes the plugin's subscription and pushes $alarms alarms and $faces faces;" \
        "$frames video packets carry SEI tracks"
    "$camera" --login "$login" --password "$password" --alarms "$alarms" --faces "$faces" --interval-ms 200 \
        --run-for 120 > "$work/camera.log" 2>&1 &
    pids+=($!)
    local cameraPid=$!
    wait_for_file "$work/camera.log" "$cameraPid" "the Uniview camera" "$work/camera.log"
    local url
    url=$(head -n 1 "$work/camera.log")
    local status=0
    "$host" "$hornbeam" --vendor Uniview --model IPC3234 --url "$url" --login "$login" --password "$password" \
        --events all --objects all "${videoOptions[@]}" --run-for "$runSeconds" \
        > "$work/host.lines" 2> "$work/host.log" || status=$?
    [ "$status" -eq 0 ] || fail "vms_plugin_host ended with status $status" "$work/host.log" "$work/camera.log"
    status=0
    kill -TERM "$cameraPid"
    wait "$cameraPid" || status=$?
    sed 's/^/  camera: /' "$work/camera.log"
    [ "$status" -eq 0 ] || fail "the camera ended with status $status: a push was not taken" "$work/host.log"
    show_kinds "$work/host.lines" eventPacket objectPacket bestShot

    local events objects shots
    events=$(count_kind "$work/host.lines" eventPacket)
    objects=$(count_kind "$work/host.lines" objectPacket)
    shots=$(count_kind "$work/host.lines" bestShot)
    [ "$events" -ge "$alarms" ] || fail "$events event packets for $alarms alarms" "$work/host.log"
    [ "$objects" -ge $((faces + frames)) ] ||
        fail "$objects object packets for $faces faces and $frames video packets" "$work/host.log"
    [ "$shots" -ge "$faces" ] || fail "$shots best shots for $faces faces" "$work/host.log"
    grep -q '^{"kind":"leakCheck","live":0}' "$work/host.lines" || fail "plugin objects leaked" "$work/host.log"
    summary "subscribed; $alarms alarms -> $events event packets; $faces faces and $frames SEI video packets ->" \
        "$objects object packets, $shots best shots; no plugin object leaked"
}

# --- quillwort --------------------------------------------------------------------------------------

section_quillwort() {
    local host="$build/platform/vms_server/vms_plugin_host"
    local quillwort="$build/vms/server/plugins/analytics/quillwort/libquillwort.so"
    local camera="$build/testing/fake_axis_camera/tool/fake_axis_camera"
    local data="$root/testing/fake_axis_camera/data"
    need "$host" "$quillwort" "$camera"
    local login=root password=demo
    # The notification packets the server hands over, in this order: motion, a video motion profile,
    # tampering, motion again, and a car whose plate is first seen, then updated.
    local packets=(motion_initialized motion_started profile1_started tampering motion_stopped plate_new plate_update)
    local packetOptions=()
    for packet in "${packets[@]}"; do
        need "$data/$packet.xml"
        packetOptions+=(--custom-packet "vnd.onvif.metadata:$data/$packet.xml")
    done

    echo "-- An Axis camera with its event catalogue and the plate record of car 42;" \
        "${#packets[@]} ONVIF notification packets"
    "$camera" --login "$login" --password "$password" --plate 42:1714564800000 --run-for 120 \
        > "$work/camera.log" 2>&1 &
    pids+=($!)
    local cameraPid=$!
    wait_for_file "$work/camera.log" "$cameraPid" "the Axis camera" "$work/camera.log"
    local url status=0
    url=$(head -n 1 "$work/camera.log")
    "$host" "$quillwort" --vendor AXIS --model P1448-LE --url "$url" --login "$login" --password "$password" \
        --events all --objects all "${packetOptions[@]}" > "$work/host.lines" 2> "$work/host.log" || status=$?
    [ "$status" -eq 0 ] || fail "vms_plugin_host ended with status $status" "$work/host.log" "$work/camera.log"
    kill -TERM "$cameraPid"
    wait "$cameraPid" || true
    sed 's/^/  camera: /' "$work/camera.log"
    # The event types the plugin made of the camera's catalogue, then each event by its type's name.
    local types
    types=$(python3 -c '
import json, sys
for line in open(sys.argv[1]):
    record = json.loads(line)
    if record.get("kind") == "deviceAgentManifest":
        print(", ".join(t["name"] for t in record["manifest"].get("eventTypes", [])))
' "$work/host.lines")
    echo "  event types from the catalogue: $types"
    python3 -c '
import json, sys
names = {}
for line in open(sys.argv[1]):
    record = json.loads(line)
    if record.get("kind") == "deviceAgentManifest":
        names = {t["id"]: t["name"] for t in record["manifest"].get("eventTypes", [])}
    elif record.get("kind") == "eventPacket":
        for item in record["items"]:
            print("  event: %s \"%s\"%s" % (names.get(item["typeId"], item["typeId"]), item.get("description", ""),
                                           " (active)" if item.get("isActive") else ""))
' "$work/host.lines"
    show_kinds "$work/host.lines" objectPacket bestShot

    local events objects shots
    events=$(count_kind "$work/host.lines" eventPacket)
    objects=$(count_kind "$work/host.lines" objectPacket)
    shots=$(count_kind "$work/host.lines" bestShot)
    [ -n "$types" ] || fail "no event types from the camera's catalogue" "$work/host.log"
    [ "$events" -ge 5 ] || fail "$events event packets, not 5 or more" "$work/host.log"
    [ "$objects" -ge 2 ] || fail "$objects object packets for the plate seen twice" "$work/host.log"
    [ "$shots" -ge 1 ] || fail "no best shot of the plate" "$work/host.log"
    grep -q '^request GET /local/fflprapp/search.cgi' "$work/camera.log" ||
        fail "the plugin did not search the camera's plate records" "$work/host.log"
    grep -q '/local/fflprapp/images/42.bmp' "$work/host.lines" ||
        fail "the best shot does not point at the plate record's image" "$work/host.log"
    grep -q '^{"kind":"leakCheck","live":0}' "$work/host.lines" || fail "plugin objects leaked" "$work/host.log"
    local typeCount
    typeCount=$(tr ',' '\n' <<< "$types" | wc -l)
    summary "$typeCount event types from the catalogue; ${#packets[@]} notification packets -> $events event packets," \
        "$objects object packets; plate search -> $shots best shot; no plugin object leaked"
}

# --- The launch chain: waypoint and velorin ---------------------------------------------------------

section_launch() {
    local waypoint="$build/open/vms/client/waypoint/waypoint" velorin="$build/client/velorin/velorin"
    need "$waypoint" "$velorin"
    command -v zip > /dev/null || skip "no zip program to pack the client (package zip)"
    local version=5.1.4.100

    # Everything the launcher and the client touch stays in the scratch folder.
    mkdir -p "$work/home" "$work/tmp" "$work/data" "$work/config" "$work/compat" "$work/ini" "$work/package/bin" \
        "$work/package/lib"
    export HOME="$work/home" TMPDIR="$work/tmp" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
        VORN_INSTALLATION_ROOT="$work/compat" VORN_INI_FILES_DIR="$work/ini" VELORIN_RECORD="$work/record.jsonl" \
        VORN_WAYPOINT_PIPE="waypoint-demo-$$"
    local socket="/tmp/$VORN_WAYPOINT_PIPE"
    outside+=("$socket")

    # A client package as a release ships it: the client executable, its build information, its libraries.
    cp "$velorin" "$work/package/bin/velorin"
    printf 'version=%s\nprotoVersion=51\n' "$version" > "$work/package/build_info.txt"
    echo "the client library stands in here" > "$work/package/lib/libclient.so"
    (cd "$work/package" && zip -qr "$work/velorin-$version.zip" bin build_info.txt lib)

    # One request on a connection of its own; prints the reply ("" when none came within 30 s).
    request() { # channel, JSON body or ""
        python3 - "$socket" "$1" "$2" << 'PYTHON'
import socket, sys
path, channel, body = sys.argv[1:4]
connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
connection.settimeout(30)
reply = b""
try:
    connection.connect(path)
    connection.sendall((channel + "\n" + body).encode())
    # A reply is the result's name, "\n", a JSON object or nothing, "\n".
    while reply.count(b"\n") < 2:
        chunk = connection.recv(65536)
        if not chunk:
            break
        reply += chunk
except OSError:
    pass
sys.stdout.write(reply.decode(errors="replace"))
PYTHON
    }
    # Sends a request, shows it and its reply, and checks the reply's first line.
    ask() { # channel, JSON body or "", expected result
        local reply
        reply=$(request "$1" "$2")
        echo "  > $1${2:+ $2}"
        echo "$reply" | sed '/^$/d; s/^/  < /'
        [ "$(echo "$reply" | head -n 1)" = "$3" ] ||
            fail "$1 was answered \"$(echo "$reply" | head -n 1)\", not \"$3\"" "$work/waypoint.log" "$work/waypoint.out"
    }

    echo "-- waypoint --exec serves the launcher's pipe $socket"
    "$waypoint" --exec --log-level verbose --log-file "$work/waypoint.log" > "$work/waypoint.out" 2>&1 &
    pids+=($!)
    local launcher=$!
    local tries=0
    until [ -S "$socket" ] && [ -n "$(request pingWaypoint '{"value1":"0","value2":"0"}')" ]; do
        kill -0 "$launcher" 2> /dev/null || fail "waypoint ended at start" "$work/waypoint.log" "$work/waypoint.out"
        tries=$((tries + 1))
        [ "$tries" -le 100 ] || fail "waypoint did not answer on its pipe within 10 s" "$work/waypoint.log"
        sleep 0.1
    done
    ask pingWaypoint '{"value1":"7","value2":"9"}' ok
    ask getInstalledVersions '{}' ok
    echo "-- The client $version installed from its zip package, then started"
    ask installZip "{\"version\":\"$version\",\"zipFileName\":\"$work/velorin-$version.zip\"}" ok
    ask getInstalledVersions '{}' ok
    grep -q '"installed":true' <<< "$(request isVersionInstalled "{\"version\":\"$version\"}")" ||
        fail "waypoint does not list $version as installed after the install" "$work/waypoint.log"
    local installed="$HOME/AppData/Local/Velorin/client/velorin/$version/bin/velorin"
    [ -x "$installed" ] || fail "no executable $installed after the install" "$work/waypoint.log"
    ask run "{\"version\":\"$version\",\"arguments\":[\"--demo\",\"two words\"]}" ok
    tries=0
    until [ -s "$VELORIN_RECORD" ]; do
        tries=$((tries + 1))
        [ "$tries" -le 100 ] || fail "velorin did not start within 10 s" "$work/waypoint.log"
        sleep 0.1
    done
    sed "s/^/  velorin: /" "$VELORIN_RECORD"
    grep -q '"--demo","two words"' "$VELORIN_RECORD" || fail "velorin did not get its arguments" "$VELORIN_RECORD"
    echo "-- Quit"
    ask quit "" ok
    local status=0
    tries=0
    while kill -0 "$launcher" 2> /dev/null; do
        tries=$((tries + 1))
        [ "$tries" -le 300 ] || fail "waypoint did not end within 30 s of the quit" "$work/waypoint.log"
        sleep 0.1
    done
    wait "$launcher" || status=$?
    [ "$status" -eq 0 ] || fail "waypoint ended with status $status" "$work/waypoint.log" "$work/waypoint.out"
    summary "waypoint answered a ping, installed velorin $version from its zip over the pipe, started it with" \
        "its arguments, and quit with status 0"
}

# --- trailhead --------------------------------------------------------------------------------------

section_trailhead() {
    local windows="$build/client/trailhead/windows"
    local trailhead="$windows/trailhead.exe" standin="$windows/waypoint_standin.exe"
    local prefixScript="$root/client/trailhead/tests/wine/wine_prefix.sh"
    command -v x86_64-w64-mingw32-g++-posix > /dev/null ||
        skip "no mingw-w64 cross compiler (package g++-mingw-w64-x86-64-posix), so no trailhead.exe"
    need "$trailhead" "$standin"
    # Debian's wine64 package keeps its loader and server out of PATH.
    local wine wineserver
    wine=$(PATH="$PATH:/usr/lib/wine" command -v wine64 || PATH="$PATH:/usr/lib/wine" command -v wine || true)
    wineserver=$(PATH="$PATH:/usr/lib/wine" command -v wineserver64 ||
        PATH="$PATH:/usr/lib/wine" command -v wineserver || true)
    [ -n "$wine" ] && [ -n "$wineserver" ] || skip "Wine is not installed (package wine64)"

    local prefix="$work/wine"
    echo "-- A throw-away Wine prefix (takes a while the first time Wine runs on a machine)"
    local status=0
    bash "$prefixScript" setup "$prefix" "$wine" "$wineserver" > "$work/prefix.log" 2>&1 || status=$?
    [ "$status" -ne "$skipped" ] || skip "$(cat "$prefix.unavailable")"
    [ "$status" -eq 0 ] || fail "the Wine prefix could not be made" "$work/prefix.log"
    # Removed with the section; its server stays up between the programs it runs until then. Expanded
    # now on purpose: the section's locals are gone when the trap runs.
    # shellcheck disable=SC2064
    trap "bash '$prefixScript' cleanup '$prefix' '$wine' '$wineserver' > /dev/null 2>&1; cleanup" EXIT

    # The prefix's programs find its server in its own temp folder (wine_prefix.sh).
    export WINEPREFIX="$prefix" TMPDIR="$prefix.tmp" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY WAYLAND_DISPLAY
    local localAppData
    localAppData=$("$wine" cmd /c echo '%LOCALAPPDATA%' 2> /dev/null | tr -d '\r')
    [[ "$localAppData" == C:\\* ]] || fail "the prefix's %LOCALAPPDATA% could not be read (got \"$localAppData\")"

    host_path() { # a Windows path on drive C
        local relative=${1:3}
        echo "$prefix/drive_c/${relative//\\//}"
    }
    local own='C:\Tools\Launch' perUser="$localAppData"'\Velorin\waypoint\velorin' report='C:\demo\report.txt'
    mkdir -p "$(host_path "$own")" "$(host_path "$perUser")" "$(dirname "$(host_path "$report")")"
    cp "$trailhead" "$(host_path "$own")/trailhead.exe"
    cp "$standin" "$(host_path "$own")/waypoint.exe"
    cp "$standin" "$(host_path "$perUser")/waypoint.exe"
    export TRAILHEAD_TEST_REPORT="$report"

    # Runs trailhead.exe, waits (at most 30 s) for the stand-in's report and checks where it ran.
    launch() { # version file text or "", expected folder, arguments...
        local version=$1 folder=$2
        shift 2
        rm -f "$(host_path "$perUser")/launcher.version" "$(host_path "$report")"
        [ -z "$version" ] || printf '%s' "$version" > "$(host_path "$perUser")/launcher.version"
        local status=0
        timeout 60 "$wine" "$own"'\trailhead.exe' "$@" > "$work/trailhead.out" 2> "$work/trailhead.err" || status=$?
        [ "$status" -eq 0 ] || fail "trailhead.exe ended with status $status" "$work/trailhead.out" "$work/trailhead.err"
        tr -d '\r' < "$work/trailhead.out" | sed 's/^/  trailhead: /'
        local tries=0
        until [ -s "$(host_path "$report")" ]; do
            tries=$((tries + 1))
            [ "$tries" -le 300 ] || fail "the stand-in waypoint.exe did not report within 30 s" "$work/trailhead.err"
            sleep 0.1
        done
        sed -n 's/^\(module\|argument\) /  waypoint.exe: \1 /p' "$(host_path "$report")"
        local module
        module=$(sed -n 's/^module //p' "$(host_path "$report")" | tr '\\' '/')
        [ "${module,,}" = "$(echo "$folder/waypoint.exe" | tr '\\' '/' | tr '[:upper:]' '[:lower:]')" ] ||
            fail "waypoint.exe ran from $module, not from $folder"
        for argument in "$@"; do
            grep -qxF "argument $argument" "$(host_path "$report")" ||
                fail "waypoint.exe did not get the argument \"$argument\"" "$(host_path "$report")"
        done
    }

    echo "-- No per-user launcher.version: trailhead starts the waypoint.exe beside it"
    launch "" "$own" --exec --proto 5000
    echo "-- A per-user launcher.version of 6.0.0.0 (newer than trailhead's 5.1.4.38659): the per-user copy starts"
    launch "6.0.0.0" "$perUser" --client "with blank"
    summary "under $("$wine" --version 2> /dev/null || echo Wine): trailhead.exe started the launcher beside it," \
        "then the per-user one for a newer launcher.version, arguments intact"
}

# --- One section as its own process -----------------------------------------------------------------

if [ "${1:-}" = "--section" ]; then
    name=${2:?} build=${3:?} summaryFile=${4:?}
    root=$(cd "$(dirname "$0")/.." && pwd)
    work=$(mktemp -d)
    trap cleanup EXIT
    trap 'exit 130' INT TERM
    "section_$name"
    exit 0
fi

# --- Every section in turn --------------------------------------------------------------------------

build=${1:?usage: $0 <release-build-dir> [SECTION...]}
build=$(cd "$build" && pwd)
shift
sections=("$@")
[ ${#sections[@]} -gt 0 ] || sections=("${allSections[@]}")
for name in "${sections[@]}"; do
    declare -F "section_$name" > /dev/null || { echo "run_demo: no section $name (${allSections[*]})" >&2; exit 2; }
done

summaries=$(mktemp -d)
trap 'rm -rf "$summaries"' EXIT
failed=0
results=()
for name in "${sections[@]}"; do
    echo "== $name"
    status=0
    "$0" --section "$name" "$build" "$summaries/$name" || status=$?
    case $status in
        0) verdict=ok ;;
        "$skipped") verdict=skipped ;;
        *) verdict=FAILED; failed=1 ;;
    esac
    line=$(cat "$summaries/$name" 2> /dev/null || echo "ended with status $status and no summary")
    line=${line#FAILED: }
    line=${line#skipped: }
    results+=("$(printf '%-10s %-8s %s' "$name" "$verdict" "$line")")
    echo "== $name: $verdict: $line"
    echo
done

echo "== Summary"
printf '%s\n' "${results[@]}"
exit "$failed"
