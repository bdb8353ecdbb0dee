#!/usr/bin/env bash
# Builds the .deb from a finished build, checks its metadata with the desktop's own validators
# and lintian, and runs what it installs from an unpacked copy.
#   tests/package/check_package.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB >/dev/null)
deb=$build/package/velmora_${version}_amd64.deb
# No error, and no warning that the package's overrides do not explain.
lintian --fail-on error,warning "$deb" || fail "lintian"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
desktop-file-validate "$share"/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$share/metainfo/app.velmora.Velmora.metainfo.xml" \
    || fail "appstreamcli"

# What the entries name is where they say: the program on the path, its icon at every size.
for entry in "$share"/applications/*.desktop; do
    program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "$root/usr/bin/$program" ] || fail "$entry runs $program, which is not installed"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    for size in 16 22 24 32 48 64 128 256; do
        file=$share/icons/hicolor/${size}x$size/apps/$icon.png
        [ "$(file -b "$file" | cut -d, -f2)" = " $size x $size" ] || fail "$file: $(file -b "$file")"
    done
    [ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable $icon"
    [ -f "$share/icons/hicolor/symbolic/apps/$icon-symbolic.svg" ] || fail "no symbolic $icon"
done
# The speed test's transfers: a module velmora loads from beside itself at the first test.
# (grep reads to the end everywhere here: under pipefail an early exit would fail the writer.)
module=$root/usr/libexec/velmora/velmora_transfers.so
ldd "$module" | grep libcurl >/dev/null || fail "no transfer module at $module"
dpkg-deb -f "$deb" Depends | grep libcurl >/dev/null || fail "the package does not bring libcurl"

for program in velmora velmora-widget; do
    [ "$("$root/usr/bin/$program" --version | head -n 1)" = "$program $version" ] \
        || fail "$program --version"
    "$root/usr/bin/$program" --help | grep "^Usage: $program " >/dev/null || fail "$program --help"
done
# --selftest wins wherever it stands, --help too. It needs no display, session bus, home of
# the user's or network: every check passes, with nothing else said, then the verdict.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$root" XDG_CONFIG_HOME="$root" \
    DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent unshare -rn "$root/usr/bin/velmora" \
    --help --selftest 2>&1) || fail "the self-test failed: $out"
[ "$(grep -c '^PASS  ' <<<"$out")" = 18 ] && [ "$(wc -l <<<"$out")" = 19 ] \
    && [ "$(tail -n 1 <<<"$out")" = "SELFTEST OK" ] || fail "self-test: $out"
echo "package checked: $deb"
