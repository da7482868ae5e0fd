#!/usr/bin/env bash
# Installs what is missing, builds Keyquill and runs every test. Tests labelled x11 run on a
# private Xvfb server that this script starts and stops; nothing touches the user's display,
# settings or running Keyquill.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ -n "${KEYQUILL_SETUP_DONE:-}" ]] || scripts/setup.sh --tests
# Under sudo, build and test as the user who asked, so build/ does not end up owned by root.
if [[ $EUID -eq 0 && -n "${SUDO_USER:-}" && "${SUDO_USER}" != root ]]; then
    exec sudo -u "$SUDO_USER" env PATH="$PATH" KEYQUILL_SETUP_DONE=1 "$0" "$@"
fi
# Formatting first: it takes a second and needs no build.
scripts/check-format.sh
scripts/build.sh

display=""
for n in $(seq 90 140); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then
        display=":$n"
        break
    fi
done
[[ -n "$display" ]] || { echo "test: no free X display number" >&2; exit 1; }

# -ac: the tests start the program as a second user too; the server listens on no TCP port.
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -ac >/tmp/keyquill-xvfb-$$.log 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; wait $xvfb_pid 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
    DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
done
DISPLAY="$display" xdotool getdisplaygeometry >/dev/null \
    || { echo "test: Xvfb did not start" >&2; cat /tmp/keyquill-xvfb-$$.log >&2; exit 1; }

export DISPLAY="$display"
unset WAYLAND_DISPLAY
ctest --test-dir build --output-on-failure --parallel 2 "$@"
