#!/usr/bin/env bash
# Installs the Debian packages Keyquill needs that are not installed yet.
#   scripts/setup.sh          what building and running need
#   scripts/setup.sh --tests  the same plus what the tests need (Xvfb, xdotool, ...)
#   scripts/setup.sh --package  the same plus what building the Debian package needs
# Runs as root, or as a user with sudo rights (apt-get is then run through sudo).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    libx11-dev libxtst-dev libxcb1-dev libxcb-xfixes0-dev
    libxkbcommon-dev # the key symbol of each character a note's text types
    libxi-dev # abbreviations: keys typed in any program, as XInput 2 raw events
    fonts-dejavu-core
    wl-clipboard # Wayland: wl-copy and wl-paste reach the clipboard without the focus
    libwayland-dev # Wayland: the keymap the compositor types with
    libyaml-cpp-dev # the import of espanso's match files
)
# dpkg-dev: dpkg-shlibdeps and dpkg-buildflags for the package (scripts/package.sh); ccache
# makes its fresh build quick when the sources compiled before.
if [[ "${1:-}" == "--tests" || "${1:-}" == "--package" ]]; then
    packages+=(dpkg-dev ccache)
fi
if [[ "${1:-}" == "--tests" ]]; then
    # qtbase5-dev: Qt 5's settings layer, to check exported files with the older readers.
    packages+=(xvfb xauth xdotool x11-utils poppler-utils qtbase5-dev clang-format clang-tidy trayer)
    # The package test's checkers.
    packages+=(lintian desktop-file-utils appstream)
    # Real terminals for the paste tests (xterm, a VTE one, urxvt) and setxkbmap for another
    # layout.
    packages+=(xterm xfce4-terminal rxvt-unicode x11-xkb-utils)
    # A GTK entry (zenity) for the abbreviation tests.
    packages+=(zenity)
    # The Wayland tests: a headless KDE session (kwin nested in Xvfb, the desktop portals and
    # KDE's portal back-end, which needs Qt 5's Wayland plugin), a Qt 6 Wayland target window,
    # a Wayland terminal (konsole) and the session bus tools (dbus-run-session also gives the
    # tray test a bus of its own).
    packages+=(kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde libkf5globalaccel-bin
               qtwayland5 qt6-wayland konsole dbus)
    # gdbus, to call Keyquill on the session bus as other programs do.
    packages+=(libglib2.0-bin)
    # A real sync engine for the store in a shared folder: two instances on loopback.
    packages+=(syncthing)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $EUID -eq 0 ]]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "setup: these packages are missing and neither root nor sudo is available:" >&2
    echo "  ${missing[*]}" >&2
    exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
