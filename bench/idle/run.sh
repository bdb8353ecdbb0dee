#!/usr/bin/env bash
# Idle benchmark: what the tray program costs while it sits in the tray, beside the floor, a
# minimal Qt tray program (bench_idle_floor: a QSystemTrayIcon redrawn once a second), and
# conky (conky-std) showing the same two rates in its own window once a second, all measured
# in the same run.
#
#   bench/idle/run.sh [options] [BUILD_DIR]          (default: ./build; builds nothing)
#     --seconds N    CPU window of each run (60)
#     --rounds N     rounds of the three runs, medians quoted (3; 0 skips them)
#     --settle N     seconds from registration to the CPU window (5)
#     --soak N       redraws of the accelerated soak after its warm-up (86400; 0 skips it)
#     --velmora P    the program under test (BUILD_DIR/bin/velmora)
#   Quick check: bench/idle/run.sh --seconds 10 --rounds 1 --soak 5000 build
#
# Everything runs on a private desktop made for the run and removed after it: Xvfb on a free
# display, a session bus, status-notifier-watcher and a gtk-sni-tray host, so both programs
# publish their item to the same watcher over StatusNotifierItem (Qt only falls back to
# XEmbed without a host). XDG_RUNTIME_DIR and a fresh XDG_CONFIG_HOME per run live in a
# temporary directory. As root each program runs in its own network namespace with loopback
# and a wired link without a default route, so the tray program is offline and makes no
# address lookup, the same way every time, while traffic on the link keeps its rates moving.
#
# Each round runs the floor, then the tray program with live speeds on, then off, then conky,
# one at a time. bench_idle_probe times the start to the item's registration, lets the
# start-up settle, then takes the run time of its threads over the window, VmHWM, and from smaps_rollup the
# private memory (Private_Dirty: what the program alone costs; Private_Clean, file pages no
# other process maps at that moment, is shown beside it but swings by megabytes with what else
# runs, so it is not judged) and PSS. conky
# shows no item: its settle counts from its start. The soak redraws as fast as it goes:
# bench_idle_soak drives the tray program's own redraw path, and the floor redraws on a 1 ms
# timer, each printing its resident memory after a warm-up and at the end.
set -euo pipefail

seconds=60 rounds=3 settle=5 soak=86400 velmora='' build=''
while (($#)); do
    case $1 in
    --seconds) seconds=$2 && shift 2 ;;
    --rounds) rounds=$2 && shift 2 ;;
    --settle) settle=$2 && shift 2 ;;
    --soak) soak=$2 && shift 2 ;;
    --velmora) velmora=$2 && shift 2 ;;
    -h | --help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//' && exit 0 ;;
    -*) echo "run.sh: unknown option $1" >&2 && exit 2 ;;
    *) build=$1 && shift ;;
    esac
done

die() {
    echo "run.sh: $*" >&2
    exit 2
}
build=$(cd "${build:-build}" && pwd) || die "no build directory"
floor=$build/bin/bench_idle_floor
probe=$build/bin/bench_idle_probe
soaker=$build/bin/bench_idle_soak
velmora=${velmora:-$build/bin/velmora}
[[ -x $floor && -x $probe ]] ||
    die "no $floor or $probe; build them first (cmake --build $build --target bench_idle_floor bench_idle_probe)"
[[ -x $velmora ]] || die "no $velmora; build it first or name the program with --velmora"
for tool in Xvfb dbus-daemon gdbus status-notifier-watcher gtk-sni-tray-standalone; do
    command -v "$tool" > /dev/null || die "$tool is missing (see PACKAGES in the Makefile)"
done

work=$(mktemp -d)
pids=()
cleanup() {
    set +e
    # The desktop's pieces in reverse order of their start.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2> /dev/null && wait "${pids[i]}" 2> /dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits up to 20 s for a command to succeed.
await() {
    local what=$1
    shift
    for _ in $(seq 200); do
        "$@" > /dev/null 2>&1 && return 0
        sleep 0.1
    done
    die "$what did not come up within 20 s (logs in $work)"
}

mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION WAYLAND_DISPLAY QT_QPA_PLATFORMTHEME

# Xvfb picks a free display and writes its number to the descriptor given.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
pids+=($!)
await Xvfb test -s "$work/display"
DISPLAY=:$(head -n1 "$work/display")
export DISPLAY

# A socket path, not an abstract one: those do not reach into another network namespace.
dbus-daemon --session --nofork --address="unix:path=$work/bus" --print-address \
    > "$work/bus.address" 2> "$work/dbus.log" &
pids+=($!)
await "the session bus" test -s "$work/bus.address"
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus.address")
export DBUS_SESSION_BUS_ADDRESS

sni_get() {
    gdbus call --session --dest org.kde.StatusNotifierWatcher \
        --object-path /StatusNotifierWatcher --method org.freedesktop.DBus.Properties.Get \
        org.kde.StatusNotifierWatcher "$1"
}
status-notifier-watcher > "$work/watcher.log" 2>&1 &
pids+=($!)
await "the StatusNotifierWatcher" sni_get ProtocolVersion
gtk-sni-tray-standalone --bottom > "$work/host.log" 2>&1 &
pids+=($!)
await "the tray host" bash -c "$(declare -f sni_get); sni_get IsStatusNotifierHostRegistered | grep -q true"

# As root, each program gets a network namespace of its own with loopback up, and a wired
# link (a veth pair named like Ethernet) carrying a few small datagrams a second, so the
# traffic counters change between every two samples and live rates are redrawn each second
# as on a desktop in use. The sender stops with the program.
wrap=()
if [[ $(id -u) == 0 ]] && unshare --net true 2> /dev/null; then
    # shellcheck disable=SC2016
    wrap=(unshare --net -- bash -c '
        ip link set lo up
        ip link add eth0 type veth peer name eth1
        ip addr add 10.7.0.1/24 dev eth0
        ip link set eth0 up && ip link set eth1 up
        ip neigh add 10.7.0.2 lladdr 02:00:00:00:00:02 dev eth0
        program=$$
        (while kill -0 "$program" 2> /dev/null; do
            echo traffic > /dev/udp/10.7.0.2/9; sleep 0.25
        done) &
        exec "$@"' bash)
fi

runs=0
# Runs one program under the probe with a fresh configuration; prints the probe's lines.
# $2: live speeds on or off (the tray program), or "conky" (the rest of the line is its
# arguments).
measure() {
    local config=$work/config-$((++runs)) program=$1 item=() arguments=()
    mkdir -p "$config/velmora"
    if [[ ${2:-} == conky ]]; then
        item=(--no-item) arguments=("${@:3}")
    elif [[ -n ${2:-} ]]; then
        printf '{"showLiveSpeed": %s}\n' "$2" > "$config/velmora/settings.json"
    fi
    XDG_CONFIG_HOME=$config "$probe" --seconds "$seconds" --settle "$settle" "${item[@]}" \
        --log "$work/programs.log" -- "${wrap[@]}" "$program" "${arguments[@]}" || true
}

# conky with the two rates of the wired link, in its own window, once a second.
conky=()
if command -v conky > /dev/null; then
    cat > "$work/conky.conf" << 'EOF'
conky.config = {
    out_to_x = true, out_to_console = false, background = false,
    own_window = true, own_window_type = 'normal', own_window_title = 'rates',
    double_buffer = true, use_xft = true, font = 'monospace:size=9',
    update_interval = 1, alignment = 'top_left',
}
conky.text = [[↓ ${downspeed eth0}/s ↑ ${upspeed eth0}/s]]
EOF
    conky=("$(command -v conky)" -q -c "$work/conky.conf")
fi

field() { awk -v k="$1" '$1 == k { print $2; found = 1 } END { if (!found) print "nan" }'; }
median() {
    sort -g | awk '{ v[NR] = $1 } END { if (!NR) print "nan"; else print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

num() { awk -v v="$1" -v d="$2" 'BEGIN { if (v == "nan") print "n/a"; else printf "%.*f\n", d, v }'; }
# kB as MB with $2 decimals.
mb() { awk -v v="$1" -v d="$2" 'BEGIN { if (v == "nan") print "n/a"; else printf "%.*f\n", d, v / 1024 }'; }
# "+<difference> MB" of $1 over $2 (kB), then met or MISSED against the limit $3 (MB).
beyond() {
    awk -v a="$1" -v b="$2" -v l="$3" 'BEGIN {
        if (a == "nan" || b == "nan") { print "n/a"; exit }
        d = (a - b) / 1024; printf "%+.1f MB (<= +%s MB) %s\n", d, l, (d <= l ? "met" : "MISSED") }'
}
# "<ratio> x" of $1 to $2, then met or MISSED against the limit $3.
versus() {
    awk -v a="$1" -v b="$2" -v l="$3" 'BEGIN {
        if (a == "nan" || b == "nan" || b <= 0) { print "n/a"; exit }
        printf "%.2f x (<= %s x) %s\n", a / b, l, (a / b <= l ? "met" : "MISSED") }'
}

configs=(floor on off conky)
: > "$work/rows"
echo "Idle benchmark on a private Xvfb desktop (status-notifier-watcher, gtk-sni-tray host)$( ((${#wrap[@]})) && echo ", each program in its own network namespace")."
if ((rounds > 0)); then
    echo "Tray program under test: $velmora."
    echo "$rounds round(s); CPU time (every thread's run time from schedstat) over $seconds s after a $settle s settle;"
    echo "medians quoted."
    # One uncounted start of each, so that no program pays alone for cold caches.
    for program in "$floor" "$velmora"; do
        XDG_CONFIG_HOME=$work/config-prime "$probe" --seconds 0 --settle 0 \
            --log "$work/programs.log" -- "${wrap[@]}" "$program" > /dev/null || true
    done
    if ((${#conky[@]})); then
        XDG_CONFIG_HOME=$work/config-prime "$probe" --no-item --seconds 0 --settle 1 \
            --log "$work/programs.log" -- "${wrap[@]}" "${conky[@]}" > /dev/null || true
    fi
    for round in $(seq "$rounds"); do
        for config in "${configs[@]}"; do
            case $config in
            floor) out=$(measure "$floor") ;;
            on) out=$(measure "$velmora" true) ;;
            off) out=$(measure "$velmora" false) ;;
            conky)
                ((${#conky[@]})) || continue
                out=$(measure "${conky[0]}" conky "${conky[@]:1}")
                ;;
            esac
            if grep -q '^error' <<< "$out"; then
                echo "  round $round, $config: $(grep '^error' <<< "$out" | cut -d' ' -f2-)" >&2
            fi
            printf '%s %s %s %s %s %s %s %s %s\n' "$config" "$(field startup_ms <<< "$out")" \
                "$(field cpu_ms <<< "$out")" "$(field seconds <<< "$out")" \
                "$(field peak_rss_kb <<< "$out")" "$(field private_dirty_kb <<< "$out")" \
                "$(field pss_kb <<< "$out")" "$(field private_clean_kb <<< "$out")" \
                "$(field wakeups <<< "$out")" >> "$work/rows"
        done
    done

    # The median of column $2 (2 start-up ms, 3 CPU ms per minute, 5 peak kB, 6 private dirty
    # kB, 7 PSS kB, 8 private clean kB, 9 wake-ups per minute) for configuration $1.
    col() {
        awk -v c="$1" -v k="$2" '$1 == c && $3 != "nan" && $4 > 0 { print (k == 3 || k == 9 ? $k * 60 / $4 : $k) }' "$work/rows" |
            median
    }
    declare -A startup cpu peak private pss clean woke
    for config in "${configs[@]}"; do
        startup[$config]=$(col "$config" 2)
        cpu[$config]=$(col "$config" 3)
        peak[$config]=$(col "$config" 5)
        private[$config]=$(col "$config" 6)
        pss[$config]=$(col "$config" 7)
        clean[$config]=$(col "$config" 8)
        woke[$config]=$(col "$config" 9)
    done

    echo
    row() { printf '%-30s | %8s | %24s | %24s | %8s\n' "$@"; }
    row "" "floor" "live speeds on" "live speeds off" "conky"
    row "------------------------------" "--------" "------------------------" "------------------------" "--------"
    row "CPU time, ms per minute" "$(num "${cpu[floor]}" 0)" "$(num "${cpu[on]}" 0)" \
        "$(num "${cpu[off]}" 0)" "$(num "${cpu[conky]}" 0)"
    row "  vs floor (target <= 0.35 x)" "" "$(versus "${cpu[on]}" "${cpu[floor]}" 0.35)" \
        "$(versus "${cpu[off]}" "${cpu[floor]}" 0.35)" ""
    row "  vs conky (target <= 1 x)" "" "$(versus "${cpu[on]}" "${cpu[conky]}" 1)" \
        "$(versus "${cpu[off]}" "${cpu[conky]}" 1)" ""
    row "wake-ups per minute" "$(num "${woke[floor]}" 0)" "$(num "${woke[on]}" 0)" \
        "$(num "${woke[off]}" 0)" "$(num "${woke[conky]}" 0)"
    row "private memory (dirty), MB" "$(mb "${private[floor]}" 1)" "$(mb "${private[on]}" 1)" \
        "$(mb "${private[off]}" 1)" "$(mb "${private[conky]}" 1)"
    row "  over floor (target <= +2 MB)" "" "$(beyond "${private[on]}" "${private[floor]}" 2)" \
        "$(beyond "${private[off]}" "${private[floor]}" 2)" ""
    row "  private clean, not judged" "$(mb "${clean[floor]}" 1)" "$(mb "${clean[on]}" 1)" \
        "$(mb "${clean[off]}" 1)" "$(mb "${clean[conky]}" 1)"
    row "PSS, MB" "$(mb "${pss[floor]}" 1)" "$(mb "${pss[on]}" 1)" "$(mb "${pss[off]}" 1)" \
        "$(mb "${pss[conky]}" 1)"
    row "peak resident memory, MB" "$(mb "${peak[floor]}" 1)" "$(mb "${peak[on]}" 1)" \
        "$(mb "${peak[off]}" 1)" "$(mb "${peak[conky]}" 1)"
    row "  vs floor (target <= 1.25 x)" "" "$(versus "${peak[on]}" "${peak[floor]}" 1.25)" \
        "$(versus "${peak[off]}" "${peak[floor]}" 1.25)" ""
    row "start to registered item, ms" "$(num "${startup[floor]}" 0)" "$(num "${startup[on]}" 0)" \
        "$(num "${startup[off]}" 0)" "no item"
    row "  vs floor (target <= 1.1 x)" "" "$(versus "${startup[on]}" "${startup[floor]}" 1.1)" \
        "$(versus "${startup[off]}" "${startup[floor]}" 1.1)" ""
fi

((soak > 0)) || exit 0
echo
echo "Accelerated soak: $soak redraws after a 2000-redraw warm-up, as fast as they go; resident memory"
echo "(VmRSS) after the warm-up and at the end."
srow() { printf '%-14s | %9s | %8s | %13s | %20s | %10s | %s\n' "$@"; }
srow "" "redraws/s" "peak, MB" "after warm-up" "at 1/4, 1/2, 3/4" "at the end" "growth"
srow "--------------" "---------" "--------" "-------------" "--------------------" "----------" "----------------------"
# One soak program's row; the target applies to the tray program's.
soak_row() {
    local name=$1 target=$2 out
    shift 2
    out=$(XDG_CONFIG_HOME=$work/config-soak-$name timeout 1800 "${wrap[@]}" "$@" \
        2>> "$work/programs.log") || true
    local warm end
    warm=$(field rss_warm_kb <<< "$out") end=$(field rss_end_kb <<< "$out")
    if [[ $warm == nan || $end == nan ]]; then
        srow "$name" "failed" "" "" "" "" "(output below)"
        printf '%s\n' "$out" | sed 's/^/    /' >&2
        return
    fi
    srow "$name" "$(awk -v n="$(field redraws <<< "$out")" -v s="$(field seconds <<< "$out")" 'BEGIN { printf "%.0f", n / s }')" \
        "$(mb "$(field peak_rss_kb <<< "$out")" 1)" "$(mb "$warm" 1) MB" \
        "$(awk '$1 == "rss_at" { printf "%s%.1f", (n++ ? ", " : ""), $3 / 1024 } END { if (!n) printf "n/a" }' <<< "$out")" \
        "$(mb "$end" 1) MB" \
        "$(awk -v g="$((end - warm))" -v t="$target" 'BEGIN { printf "%+.2f MB", g / 1024; if (t) printf " (< 1 MB) %s", (g < 1024 ? "met" : "MISSED") }')"
}
soak_row floor 0 "$floor" --interval-ms 1 --warmup 2000 --redraws "$soak"
if [[ -x $soaker ]]; then
    soak_row "tray program" 1 "$soaker" --warmup 2000 --redraws "$soak"
else
    srow "tray program" "not built" "" "" "" "" "(no $soaker)"
fi
