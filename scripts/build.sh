#!/usr/bin/env bash
# Configures and builds Keyquill into build/ (extra arguments go to CMake's configure step).
# KEYQUILL_TARGET=name builds only that target (scripts/run.sh builds only the program).
set -euo pipefail
cd "$(dirname "$0")/.."

# Under sudo, build as the user who asked, so the tree does not end up owned by root.
if [[ $EUID -eq 0 && -n "${SUDO_USER:-}" && "${SUDO_USER}" != root ]]; then
    exec sudo -u "$SUDO_USER" --preserve-env=PATH,KEYQUILL_TARGET "$0" "$@"
fi

# The configure output stays visible: it says which hot-key back-end was found.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
if [[ -n "${KEYQUILL_TARGET:-}" ]]; then
    cmake --build build --parallel "$(nproc)" --target "$KEYQUILL_TARGET"
else
    cmake --build build --parallel "$(nproc)"
fi
