#!/usr/bin/env bash
# The Debian package: built by scripts/package.sh into the given folder, then taken apart and
# checked: its files, control fields and dependencies, the desktop entry, the AppStream
# metadata, and lintian (no errors). Exits 77 (skipped) where dpkg-deb is missing.
#   tst_package.sh <folder>
set -uo pipefail
if ! command -v dpkg-deb >/dev/null; then
    echo "SKIP: dpkg-deb is missing, so no Debian package can be built or checked here"
    exit 77
fi
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
folder="$1"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

deb="$(KEYQUILL_SETUP_DONE=1 "$source_dir/scripts/package.sh" "$folder" | tail -n 1)"
[[ -f "$deb" ]] || { echo "FAIL: scripts/package.sh made no package"; exit 1; }
echo "package: $deb, $(du -k "$deb" | cut -f1) KiB"

# Exactly these files, all below /usr, the program executable.
expected="./usr/bin/keyquill
./usr/share/applications/keyquill.desktop
./usr/share/doc/keyquill/changelog.gz
./usr/share/doc/keyquill/copyright
./usr/share/icons/hicolor/128x128/apps/keyquill.png
./usr/share/icons/hicolor/16x16/apps/keyquill.png
./usr/share/icons/hicolor/32x32/apps/keyquill.png
./usr/share/icons/hicolor/48x48/apps/keyquill.png
./usr/share/icons/hicolor/scalable/apps/keyquill.svg
./usr/share/man/man1/keyquill.1.gz
./usr/share/metainfo/example.corvane.keyquill.metainfo.xml"
listing="$(dpkg-deb -c "$deb")"
files="$(awk '$1 ~ /^-/ { print $6 }' <<<"$listing" | sort)"
[[ "$files" == "$expected" ]] || fail "files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$files"))"
grep -qE '^-rwxr-xr-x root/root .* \./usr/bin/keyquill$' <<<"$listing" || fail "program mode"
stray="$(awk '{ print $6 }' <<<"$listing" | grep -vE '^\./(usr/.*)?$')"
[[ -z "$stray" ]] || fail "outside /usr: $stray"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == keyquill ]] || fail "Package: $(field Package)"
[[ "$(field Version)" == 1.0.0 ]] || fail "Version: $(field Version)"
[[ "$(field Section)" == utils ]] || fail "Section: $(field Section)"
[[ "$(field Priority)" == optional ]] || fail "Priority: $(field Priority)"
[[ "$(field Architecture)" == "$(dpkg --print-architecture)" ]] || fail "Architecture"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[[ "$(field Homepage)" =~ ^https?://[^/]+/ ]] || fail "Homepage: $(field Homepage)"
description="$(field Description)"
[[ "$(head -n 1 <<<"$description")" == "text macro manager with system-wide hot keys" ]] \
    || fail "Description summary: $(head -n 1 <<<"$description")"
(($(wc -l <<<"$description") >= 5)) || fail "Description too short: $description"
# Dependencies: what dpkg-shlibdeps found in the program, and the platform plugins.
depends="$(field Depends)"
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 \
    libqt6printsupport6 libx11-6 libxtst6 libxcb1 qt6-qpa-plugins; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
[[ "$(field Recommends)" == "qt6-wayland, wl-clipboard, xdg-desktop-portal" ]] \
    || fail "Recommends: $(field Recommends)"
# The package build leaves the update check out.
grep -qx 'KEYQUILL_UPDATE_CHECK:BOOL=OFF' "$folder/CMakeCache.txt" || fail "update check not off"

# The desktop entry, the metadata and the icons, as installed.
root="$folder/unpacked"
rm -rf "$root" && dpkg-deb -x "$deb" "$root"
desktop="$root/usr/share/applications/keyquill.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=keyquill' "$desktop" && grep -qx 'Icon=keyquill' "$desktop" || fail "Exec/Icon"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.corvane.keyquill.metainfo.xml" \
    || fail "appstreamcli validate"
for size in 16 32 48 128; do
    png="$root/usr/share/icons/hicolor/${size}x$size/apps/keyquill.png"
    # The width and height fields of the PNG header.
    [[ "$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')" == "$(printf '%08x%08x' "$size" "$size")" ]] \
        || fail "$png is not ${size}x$size"
done

# lintian: no errors; its warnings are explained in the packaging files.
if command -v lintian >/dev/null; then
    report="$(lintian "$deb" 2>&1)"
    echo "lintian:"$'\n'"${report:-(nothing)}"
    ! grep -q '^E:' <<<"$report" || fail "lintian reports errors"
else
    echo "lintian is not installed: not run"
fi

((failures == 0)) && echo "PASS: the package" || echo "$failures check(s) failed"
((failures == 0))
