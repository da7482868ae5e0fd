#!/usr/bin/env bash
# Builds the Debian package of Keyquill:
#   scripts/package.sh [folder]
# makes a fresh Release build in the folder (default build-package/) without tests and
# benchmarks, with the update check off (the distribution updates its programs; the switch
# stays, see README), with Debian's hardening flags, and packs it with CPack. The last line
# printed is the path of the .deb.
set -euo pipefail
folder="$(realpath -m "${1:-$(dirname "$0")/../build-package}")"
cd "$(dirname "$0")/.."
[[ -n "${KEYQUILL_SETUP_DONE:-}" ]] || scripts/setup.sh --package
if [[ $EUID -eq 0 && -n "${SUDO_USER:-}" && "${SUDO_USER}" != root ]]; then
    exec sudo -u "$SUDO_USER" env PATH="$PATH" KEYQUILL_SETUP_DONE=1 "$0" "$folder"
fi

# Rebuilding every time is quick with ccache: the sources compile as in the last package build.
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
fi
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"

# Fresh every time, but only ever a build folder is removed.
if [[ -e "$folder" && ! -f "$folder/CMakeCache.txt" ]]; then
    echo "package: $folder exists and is not a build folder; name another one" >&2
    exit 1
fi
rm -rf "$folder"
cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DKEYQUILL_BUILD_TESTS=OFF -DKEYQUILL_BUILD_BENCH=OFF -DKEYQUILL_UPDATE_CHECK=OFF >/dev/null
cmake --build "$folder" --parallel "$(nproc)" >/dev/null
(cd "$folder" && cpack -G DEB >/dev/null)
ls "$folder"/keyquill_*.deb
