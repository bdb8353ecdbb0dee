#!/usr/bin/env bash
# Installs the .deb for real, starts the installed velmora the way a desktop does, by D-Bus
# activation on a private session bus, and removes the package again, whatever happens.
# Root only; it leaves a velmora that was installed before it alone.
#   tests/package/install_package.sh DEB
set -euo pipefail
deb=$(realpath "$1")
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "SKIP: installing needs root"; exit 77; }
# Offline: the program started here must not look its address up on the internet.
[ -n "${VELMORA_OFFLINE:-}" ] || exec env VELMORA_OFFLINE=1 unshare --net "$0" "$@"
if dpkg-query -W -f='${Status}' velmora 2>/dev/null | grep 'ok installed' >/dev/null; then
    echo "SKIP: velmora is installed here already"; exit 77
fi

t=$(mktemp -d)
apt() { DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"; }
cleanup() {
    set +e
    for pid in $(instances); do kill "$pid"; done
    [ -n "${bus:-}" ] && kill "$bus"
    [ -n "${xvfb:-}" ] && kill "$xvfb"
    dpkg -s velmora >/dev/null 2>&1 && apt purge velmora
    rm -rf "$t"
}
trap cleanup EXIT
# The installed program's processes started for this test (its home), none else.
instances() {
    for pid in $(pgrep -x velmora); do
        [ "$(readlink "/proc/$pid/exe")" = /usr/bin/velmora ] \
            && tr '\0' '\n' <"/proc/$pid/environ" | grep -x "HOME=$t/home" >/dev/null && echo "$pid"
    done
    return 0
}
apt install "$deb" >/dev/null

# The bus knows only the installed service; its address and the display are of this test.
mkdir -p "$t/home/.config/velmora" "$t/services"
ln -s /usr/share/dbus-1/services/app.velmora.Velmora.service "$t/services/"
cat >"$t/bus.conf" <<CONF
<busconfig><type>session</type><listen>unix:path=$t/bus</listen>
<servicedir>$t/services</servicedir>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
CONF
Xvfb -displayfd 3 -nolisten tcp 3>"$t/display" 2>/dev/null & xvfb=$!
for _ in $(seq 100); do [ -s "$t/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$t/display") HOME=$t/home XDG_CONFIG_HOME=$t/home/.config
export XDG_RUNTIME_DIR=$t DBUS_SESSION_BUS_ADDRESS=unix:path=$t/bus
bus=$(dbus-daemon --config-file="$t/bus.conf" --fork --print-pid)
echo '{}' >"$t/home/.config/velmora/settings.json"

waitFor() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; return 1; }
# A velmora: link goes, through the entry that claims the scheme, to Open on the bus name, and
# the bus starts the program its service names (no link among its arguments).
gio open velmora://open || fail "gio open velmora://open"
waitFor xdotool search --onlyvisible --name '^Velmora$' >/dev/null || fail "activation by a velmora: link showed no popover"
[ "$(tr '\0' ' ' <"/proc/$(instances)/cmdline")" = "/usr/bin/velmora " ] \
    || fail "velmora was not started by the bus: $(tr '\0' ' ' <"/proc/$(instances)/cmdline")"

for pid in $(instances); do kill "$pid"; done
apt purge velmora >/dev/null
[ ! -e /usr/bin/velmora ] && [ ! -e "$t/services/app.velmora.Velmora.service" ] \
    || fail "removing the package left its files"
[ "$(cat "$t/home/.config/velmora/settings.json")" = '{}' ] || fail "the settings went with it"
echo "installed, activated and removed: $deb"
