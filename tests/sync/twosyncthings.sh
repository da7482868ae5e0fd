#!/bin/bash
# Two machines kept in step by a real sync engine: two Syncthing instances on 127.0.0.1 (fixed
# ports, keys made here, global and local discovery, relays and NAT off), each with a home folder
# of its own and one shared folder; then the test program given runs a Keyquill over each folder.
# Exit 77 (skipped) where syncthing is missing.
# The test takes a machine off line and back through SYNC_ENGINE ("<this script> --engine <dir>",
# followed by "a" or "b" and "stop" or "start").
set -euo pipefail

start_engine() { # <dir> <a|b>
    HOME="$1/$2/home" STNOUPGRADE=1 syncthing serve --home="$1/$2/home" --no-browser \
        --no-restart >>"$1/$2/engine.log" 2>&1 &
    echo $! >"$1/$2/pid"
}
stop_engine() { # <dir> <a|b>
    local pid
    pid=$(cat "$1/$2/pid" 2>/dev/null) || return 0
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$1/$2/pid"
}
if [ "${1:-}" = --engine ]; then
    case $4 in
    stop) stop_engine "$2" "$3" ;;
    start) start_engine "$2" "$3" ;;
    esac
    exit 0
fi

test_program=$1
if ! command -v syncthing >/dev/null; then
    echo "skipped: syncthing is not installed (Debian package syncthing, scripts/setup.sh --tests)"
    exit 77
fi
dir=$(mktemp -d)
trap 'stop_engine "$dir" a; stop_engine "$dir" b; rm -rf "$dir"' EXIT

declare -A id port=([a]=22617 [b]=22618) other=([a]=b [b]=a)
for m in a b; do
    mkdir -p "$dir/$m/Sync/.stfolder"
    # Keyquill's lock and the second name it keeps while writing belong to one machine.
    printf '*.lock\n*.keep-*\n' >"$dir/$m/Sync/.stignore"
    id[$m]=$(syncthing generate --home="$dir/$m/home" --no-default-folder --skip-port-probing 2>&1 |
        sed -n 's/.*Device ID: \([A-Z0-9-]*\).*/\1/p')
done
for m in a b; do
    o=${other[$m]}
    folder="<folder id=\"keyquill\" path=\"$dir/$m/Sync\" type=\"sendreceive\" rescanIntervalS=\"5\""
    folder+=" fsWatcherEnabled=\"true\" fsWatcherDelayS=\"1\"><device id=\"${id[$m]}\"></device>"
    folder+="<device id=\"${id[$o]}\"></device><maxConflicts>10</maxConflicts></folder>"
    device="<device id=\"${id[$o]}\" name=\"$o\"><address>tcp://127.0.0.1:${port[$o]}</address></device>"
    # A machine back on line is found within seconds.
    sed -i -e "s|<listenAddress>default<|<listenAddress>tcp://127.0.0.1:${port[$m]}<|" \
        -e 's/<\(globalAnnounceEnabled\|localAnnounceEnabled\|relaysEnabled\|natEnabled\)>true</<\1>false</' \
        -e 's/<\(startBrowser\|crashReportingEnabled\)>true</<\1>false</' \
        -e 's/<urAccepted>0</<urAccepted>-1</' -e 's/<autoUpgradeIntervalH>12</<autoUpgradeIntervalH>0</' \
        -e 's/<reconnectionIntervalS>60</<reconnectionIntervalS>2</' \
        -e 's/<gui enabled="true"/<gui enabled="false"/' \
        -e "s|^    <gui |    $folder\n    $device\n    <gui |" "$dir/$m/home/config.xml"
    start_engine "$dir" "$m"
done
SYNC_ENGINE="$(realpath "$0") --engine $dir" "$test_program" "$dir/a/Sync" "$dir/b/Sync"
