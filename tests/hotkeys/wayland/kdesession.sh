#!/usr/bin/env bash
# Runs a command inside a private headless KDE Wayland session: kwin nested in its own Xvfb,
# a private session bus with the desktop portals, a fresh HOME. Exits with the command's status,
# or 77 (the tests' skip code) with the reason when the session cannot come up here.
#   kdesession.sh <work-dir> <command...>
# The command runs with QT_QPA_PLATFORM=wayland in the session (WAYLAND_DISPLAY, XDG_RUNTIME_DIR,
# a fresh HOME) and DISPLAY set to the Xvfb that hosts kwin: XTest presses there are the user's
# keyboard; KQ_KWIN_CONFIG is kwin's settings folder. The display number is the first free one
# from KQ_DISPLAY_FIRST (default 160).
set -uo pipefail
work=$1
shift
skip() { echo "SKIP: Wayland session: $*" >&3; exit 77; }

if [[ -z "${KQ_INSIDE_SESSION:-}" ]]; then
    exec 3>&2 # the command's and our own messages; the session's chatter goes to a log
    for tool in Xvfb xdotool dbus-run-session dbus-update-activation-environment \
        /usr/bin/kwin_wayland; do
        command -v "$tool" >/dev/null || skip "$tool is not installed"
    done
    for service in org.freedesktop.portal.Desktop org.freedesktop.impl.portal.desktop.kde; do
        [[ -e /usr/share/dbus-1/services/$service.service ]] || skip "no D-Bus service $service"
    done
    rm -rf "$work" && mkdir -p "$work/home" "$work/config" "$work/runtime" || skip "cannot create $work"
    chmod 700 "$work/runtime"
    # A plain copy drops the file capability that containers refuse to exec with.
    cp /usr/bin/kwin_wayland "$work/kwin_wayland" || skip "cannot copy kwin_wayland"
    export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
    export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
    export XDG_SESSION_TYPE=wayland KQ_INSIDE_SESSION=1
    unset WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
    exec dbus-run-session -- "$0" "$work" "$@" 2>"$work/session.log"
fi

pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
}
trap cleanup EXIT

number=${KQ_DISPLAY_FIRST:-160}
while [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]]; do number=$((number + 1)); done
KQ_XDISPLAY=":$number"
Xvfb "$KQ_XDISPLAY" -screen 0 1280x1024x24 -nolisten tcp -ac >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do DISPLAY=$KQ_XDISPLAY xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$KQ_XDISPLAY xdotool getdisplaygeometry >/dev/null 2>&1 || skip "Xvfb did not start"

socket="wayland-kq$number"
DISPLAY=$KQ_XDISPLAY KWIN_COMPOSE=Q "$work/kwin_wayland" --x11-display "$KQ_XDISPLAY" \
    --socket "$socket" --no-lockscreen --width 1024 --height 768 >"$work/kwin.log" 2>&1 &
pids+=($!)
for _ in $(seq 300); do [[ -S $XDG_RUNTIME_DIR/$socket ]] && break; sleep 0.1; done
[[ -S $XDG_RUNTIME_DIR/$socket ]] || skip "kwin_wayland did not start ($(tail -n 3 "$work/kwin.log" | tr '\n' ' '))"
export WAYLAND_DISPLAY=$socket
unset DISPLAY
dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE \
    KDE_FULL_SESSION KDE_SESSION_VERSION XDG_RUNTIME_DIR HOME XDG_CONFIG_HOME \
    QT_QPA_PLATFORM=wayland DISPLAY= || skip "cannot pass the session to D-Bus"

# Ready once the portal answers with both interfaces.
introspect() {
    dbus-send --session --print-reply --reply-timeout=20000 --dest=org.freedesktop.portal.Desktop \
        /org/freedesktop/portal/desktop org.freedesktop.DBus.Introspectable.Introspect 2>/dev/null
}
ready=""
for _ in $(seq 30); do
    out=$(introspect)
    if grep -q GlobalShortcuts <<<"$out" && grep -q RemoteDesktop <<<"$out"; then ready=1; break; fi
    sleep 1
done
[[ -n $ready ]] || skip "the desktop portal offers no GlobalShortcuts and RemoteDesktop"

KQ_KWIN_CONFIG=$XDG_CONFIG_HOME QT_QPA_PLATFORM=wayland DISPLAY=$KQ_XDISPLAY "$@" 2>&3
