#!/usr/bin/env bash
# What `cmake --install` and the Debian package put in place, from a built tree:
#     package_test.sh BUILD_DIR APPLICATION_ID
# Checks the programs, the library's resources, a desktop entry that
# desktop-file-validate accepts, the hicolor icon, and the package's files and dependencies.
set -euo pipefail
build=$1
app_id=$2
work=$(mktemp -d -t tarvo-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
expect() { # DESCRIPTION COMMAND...
    local what=$1; shift
    if ! "$@" >"$work/last" 2>&1; then
        echo "FAILED: $what"; cat "$work/last"; failures=$((failures + 1))
    fi
}

cmake --install "$build" --prefix "$work/root" >/dev/null
for file in bin/tarvo-capture bin/tarvo-capture-desktop bin/tarvo-devbackend; do
    expect "$file is an installed program" test -x "$work/root/$file"
done
expect "the resources are installed as data" \
    test -f "$work/root/share/tarvo-capture/CaptureKit_CaptureKit/AppIcons/stash.png"
entry="$work/root/share/applications/$app_id.desktop"
expect "the desktop entry is valid" desktop-file-validate "$entry"
expect "the entry starts the tray app" grep -qx 'Exec=tarvo-capture-desktop' "$entry"
expect "the entry names the icon" grep -qx "Icon=$app_id" "$entry"
expect "the icon is in the hicolor theme" \
    test -s "$work/root/share/icons/hicolor/scalable/apps/$app_id.svg"

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >/dev/null)
package=$(ls "$work"/package/tarvo-capture_*.deb)
dpkg-deb -c "$package" | awk '{print $6}' >"$work/contents"
for file in ./usr/bin/tarvo-capture ./usr/bin/tarvo-capture-desktop ./usr/bin/tarvo-devbackend \
    ./usr/share/tarvo-capture/CaptureKit_CaptureKit/AppIcons/stash.png "./usr/share/applications/$app_id.desktop" \
    "./usr/share/icons/hicolor/scalable/apps/$app_id.svg"; do
    expect "the package holds $file" grep -qx -- "$file" "$work/contents"
done
depends=$(dpkg-deb -f "$package" Depends)
for dependency in libqt6widgets6 libqt6svg6 libcurl4 libsecret-1-0; do
    expect "the package depends on $dependency" grep -q "$dependency" <<<"$depends"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "1 passed, 0 failed"
