#!/usr/bin/env bash
# Configures and builds Keyquill into build/ (extra arguments go to CMake's configure step).
set -euo pipefail
cd "$(dirname "$0")/.."

# Under sudo, build as the user who asked, so the tree does not end up owned by root.
if [[ $EUID -eq 0 && -n "${SUDO_USER:-}" && "${SUDO_USER}" != root ]]; then
    exec sudo -u "$SUDO_USER" --preserve-env=PATH "$0" "$@"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build --parallel "$(nproc)"
