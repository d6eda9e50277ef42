#!/usr/bin/env bash
# Unpacks the Debian package into a scratch root and checks what it installs and declares.
# Usage: check-deb.sh DEB_DIR APP_ID VERSION
set -euo pipefail
deb_dir=$1 app_id=$2 version=$3

shopt -s nullglob
debs=("$deb_dir"/horavox_"$version"-*_*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "expected one horavox_$version package in $deb_dir, found ${#debs[@]}"; exit 1; }
deb=${debs[0]}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for exe in usr/bin/horavox usr/bin/horavox-board; do
    [ -f "$root/$exe" ] && [ -x "$root/$exe" ] || fail "$exe missing or not executable"
    file -b "$root/$exe" | grep -q '^ELF .* executable' || fail "$exe is no ELF executable"
done
desktop=usr/share/applications/$app_id.desktop
metainfo=usr/share/metainfo/$app_id.metainfo.xml
icon=usr/share/icons/hicolor/16x16/apps/$app_id.png
for f in "$desktop" "$metainfo" "$icon"; do
    [ -s "$root/$f" ] || fail "$f missing or empty"
done
file -b "$root/$icon" | grep -q '^PNG image data, 16 x 16' || fail "$icon is no 16x16 PNG"
# The desktop file, the metainfo's launchable and the icon agree on the names.
grep -qx "Exec=horavox" "$root/$desktop" || fail "the desktop file does not start horavox"
grep -qx "Icon=$app_id" "$root/$desktop" || fail "the desktop file names another icon"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$root/$metainfo" ||
    fail "the metainfo launches another desktop file"
grep -q "<id>$app_id</id>" "$root/$metainfo" || fail "the metainfo has another id"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/$desktop" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/$metainfo" >/dev/null || fail "appstreamcli validate"
fi
# Nothing of the build or the tests comes along.
unexpected=$(cd "$root" && find . -type f | grep -v -e '^./usr/bin/horavox$' -e '^./usr/bin/horavox-board$' \
    -e "^./$desktop\$" -e "^./$metainfo\$" -e "^./$icon\$" || true)
[ -z "$unexpected" ] || fail "unexpected files: $unexpected"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = horavox ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version is $(field Version)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is $(field Architecture)"
depends=$(field Depends)
depended=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    grep -qxF "$lib" <<<"$depended" || fail "Depends lacks $lib: $depends"
done
grep -q 'fonts-wqy-microhei' <<<"$(field Recommends)" || fail "Recommends lacks a CJK font"
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "Maintainer or Description empty"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed on $deb"
    exit 1
fi
echo "ok: $deb"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends Installed-Size
