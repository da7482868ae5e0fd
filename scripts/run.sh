#!/usr/bin/env bash
# Installs what is missing, builds Keyquill and starts it. Arguments go to the program,
# for example: scripts/run.sh --minimize-to-tray
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# Only the program: the tests and benchmarks are not needed to run it.
KEYQUILL_TARGET=keyquill scripts/build.sh
if [[ $EUID -eq 0 && -n "${SUDO_USER:-}" && "${SUDO_USER}" != root ]]; then
    exec sudo -u "$SUDO_USER" --preserve-env=DISPLAY,XAUTHORITY,XDG_RUNTIME_DIR build/src/keyquill "$@"
fi
exec build/src/keyquill "$@"
