#!/usr/bin/env bash
# What `cmake --install` and the two Debian packages put in place, from a built tree:
#     package_test.sh BUILD_DIR APPLICATION_ID [--installed-only]
# The desktop entry passes desktop-file-validate, the AppStream metainfo `appstreamcli validate`,
# and both packages lintian without errors or warnings. The packages hold what each should (the
# app's holds no server), and their programs run from where the packages put them.
# --installed-only checks the installed tree and runs its programs, but builds no packages: the
# sanitizer build's programs are never shipped, and packing and linting them takes a minute.
set -euo pipefail
build=$(realpath "$1")
app_id=$2
installed_only=${3:-}
work=$(mktemp -d -t tarvo-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
expect() { # DESCRIPTION COMMAND...
    local what=$1
    shift
    if ! "$@" >"$work/last" 2>&1; then
        echo "FAILED: $what"
        cat "$work/last"
        failures=$((failures + 1))
    fi
}

app_files=(bin/tarvo-capture bin/tarvo-capture-desktop share/man/man1/tarvo-capture.1.gz
    share/man/man1/tarvo-capture-desktop.1.gz share/doc/tarvo-capture/copyright
    share/doc/tarvo-capture/changelog.gz "share/applications/$app_id.desktop"
    "share/metainfo/$app_id.metainfo.xml" "share/icons/hicolor/scalable/apps/$app_id.svg"
    share/tarvo-capture/CaptureKit_CaptureKit/AppIcons/stash.png
    share/bash-completion/completions/tarvo-capture share/zsh/vendor-completions/_tarvo-capture
    share/fish/vendor_completions.d/tarvo-capture.fish)
devbackend_files=(bin/tarvo-devbackend share/man/man1/tarvo-devbackend.1.gz
    share/doc/tarvo-capture-devbackend/copyright share/doc/tarvo-capture-devbackend/changelog.gz)

holds() { grep -qx -- "./usr/$2" "$work/$1.contents"; }
lacks() { ! grep -q -- "$2" "$work/$1.contents"; }

# Builds both packages, lints them, checks what each holds and unpacks them into installed/.
check_packages() {
    if ! (cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package") \
        >"$work/cpack" 2>&1; then
        cat "$work/cpack"
        exit 1
    fi
    app=$(ls "$work"/package/tarvo-capture_*.deb)
    devbackend=$(ls "$work"/package/tarvo-capture-devbackend_*.deb)
    # Errors and warnings fail; the lower levels are shown for the record.
    lintian --fail-on error,warning --display-info "$app" "$devbackend" >"$work/lintian" 2>&1 || {
        echo "FAILED: lintian passes both packages"
        failures=$((failures + 1))
    }
    grep -v "^running with root privileges" "$work/lintian" || true

    for package in app devbackend; do
        dpkg-deb -c "${!package}" | awk '{print $6}' >"$work/$package.contents"
        dpkg-deb -x "${!package}" "$work/installed"
    done
    for file in "${app_files[@]}"; do
        expect "the app's package holds $file" holds app "$file"
    done
    expect "the app's package holds no server" lacks app devbackend
    for file in "${devbackend_files[@]}"; do
        expect "the dev backend's package holds $file" holds devbackend "$file"
    done
    local depends
    depends=$(dpkg-deb -f "$app" Depends)
    for dependency in libqt6widgets6 libqt6svg6 libcurl4 libsecret-1-0; do
        expect "the app's package depends on $dependency" grep -q "$dependency" <<<"$depends"
    done
}

runs() { # PROGRAM EXPECTED-FIRST-LINE: the program's --version
    local first
    first=$("$programs/$1" --version | head -n 1)
    [ "$first" = "$2" ] || {
        echo "$1 --version says \"$first\""
        return 1
    }
}

cmake --install "$build" --prefix "$work/root" >/dev/null
expect "the desktop entry is valid" \
    desktop-file-validate "$work/root/share/applications/$app_id.desktop"
expect "the AppStream metainfo is valid" \
    appstreamcli validate --no-net "$work/root/share/metainfo/$app_id.metainfo.xml"
for file in "${app_files[@]}" "${devbackend_files[@]}"; do
    expect "$file is installed" test -s "$work/root/$file"
done

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
programs="$work/root/bin"
if [ "$installed_only" != --installed-only ]; then
    check_packages
    programs="$work/installed/usr/bin"
    expect "the package's version is $version" test "$(dpkg-deb -f "$app" Version)" = "$version"
fi
for program in tarvo-capture tarvo-capture-desktop tarvo-devbackend; do
    expect "$program runs" runs "$program" "$program $version"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "1 passed, 0 failed"
