#!/usr/bin/env bash
# Speed-test benchmark: Velmora's tester against curl on a shaped link, in the same run.
#
#   sudo bench/speedtest/run.sh [BUILD_DIR]        (default: build/, as `make test` leaves it)
#
# Everything happens inside a private network namespace made for the run and removed after it:
# its loopback at MTU 1500 is the link, shaped with tc tbf at each rate (RATES, in Mbit/s).
# bench_speedserver serves the speed-test endpoints over HTTPS with a test authority and holds
# each latency probe HOLD_MS (this kernel has no netem; the hold is the latency truth). The
# rate truth is the shaped rate times the payload's share of the bytes that crossed the
# shaper, read from the qdisc's counters around curl's full transfers (sized to take about 4
# seconds at the rate, so on slow links they still end, while Velmora's 8-second cap ends its
# own). Each figure is the median of REPS rounds; within a round the tools take turns, so both
# see the same conditions. Velmora runs latency, download and upload in one process, as the
# application does. Finally the link is left unshaped and Velmora's download is compared with
# curl's over HTTPS and plain HTTP.
set -euo pipefail

RATES=${RATES:-"2 5 20 100 500"}
REPS=${REPS:-5}
UNSHAPED_REPS=${UNSHAPED_REPS:-9}
HOLD_MS=${HOLD_MS:-20}

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
driver=$build/bin/bench_speedtest
server=$build/bin/bench_speedserver

die() {
    echo "run.sh: $*" >&2
    exit 2
}
[[ $(id -u) == 0 ]] || die "needs root for the network namespace and tc: sudo $0"
[[ -x $driver && -x $server ]] ||
    die "no $driver or $server; build first (make test, or cmake --build --preset dev)"
missing=()
for tool in curl:curl tc:iproute2 ip:iproute2 openssl:openssl; do
    command -v "${tool%%:*}" > /dev/null || missing+=("${tool#*:}")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
        --no-install-recommends "${missing[@]}"
fi

ns=velmora-speedbench-$$
work=$(mktemp -d)
server_pid=
cleanup() {
    set +e
    [[ -n $server_pid ]] && kill "$server_pid" 2> /dev/null && wait "$server_pid" 2> /dev/null
    ip netns del "$ns" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

inside() { ip netns exec "$ns" "$@"; }

ip netns add "$ns"
inside ip link set lo mtu 1500 up

# Not through inside(): $! must be the server itself (ip netns exec execs it).
ip netns exec "$ns" "$server" --address 127.0.0.1 --http-port 8080 --https-port 8443 \
    --ca-out "$work/ca.pem" --hold-ms "$HOLD_MS" --max-seconds 3600 > "$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 300); do
    grep -q '^ready' "$work/server.out" 2> /dev/null && break
    kill -0 "$server_pid" 2> /dev/null || die "the server did not start: $(cat "$work/server.out")"
    sleep 0.1
done
grep -q '^ready' "$work/server.out" || die "the server was not ready within 30 s"

base=https://localhost:8443
down_bytes=25000000
up_bytes=10000000

# Bytes the loopback's qdisc has sent so far.
qdisc_bytes() { inside tc -s qdisc show dev lo | awk '/Sent/ { print $2; exit }'; }

# Velmora's figures for the measurements named, in turn in one process as the application runs
# them (latency in ms, rates in Mbit/s; "nan" for a failed one).
velmora() {
    local out kind
    out=$(inside timeout 200 "$driver" --ca "$work/ca.pem" "$base" "$@" 2>&1) || true
    for kind in "$@"; do
        awk -v k="$kind" '$1 ~ "^" k "_" { v = ($2 == "error") ? "nan" : $2 } END { print (v == "" ? "nan" : v) }' <<< "$out"
    done | paste -sd ' '
    awk '/peak_rss_kb/ { print $2 }' <<< "$out" > "$work/rss"
}

# curl's rate in Mbit/s for a full transfer of $1 bytes (default: as many as Velmora asks for),
# the payload's share of the qdisc bytes during the transfer, and the transfer's seconds.
curl_down() {
    local before after out bytes=${1:-$down_bytes}
    before=$(qdisc_bytes)
    out=$(inside timeout 90 curl -s -o /dev/null --cacert "$work/ca.pem" --max-time 60 \
        -w '%{speed_download} %{time_total}' "$base/__down?bytes=$bytes") || out="nan nan"
    after=$(qdisc_bytes)
    awk -v o="$out" -v p="$bytes" -v d="$((after - before))" \
        'BEGIN { split(o, f, " "); printf "%.3f %.6f %s\n", f[1] * 8 / 1e6, (d > 0 ? p / d : 0), f[2] }'
}
curl_up() {
    local before after speed bytes=${1:-$up_bytes}
    [[ -f $work/zeros-$bytes ]] || head -c "$bytes" /dev/zero > "$work/zeros-$bytes"
    before=$(qdisc_bytes)
    speed=$(inside timeout 90 curl -s -o /dev/null --cacert "$work/ca.pem" --max-time 60 \
        -H 'Expect:' -H 'Content-Type: application/octet-stream' \
        --data-binary "@$work/zeros-$bytes" -w '%{speed_upload}' "$base/__up") || speed=nan
    after=$(qdisc_bytes)
    awk -v s="$speed" -v p="$bytes" -v d="$((after - before))" \
        'BEGIN { printf "%.3f %.6f\n", s * 8 / 1e6, (d > 0 ? p / d : 0) }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
fmt() { awk -v v="$1" 'BEGIN { printf (v < 100 ? "%.2f" : "%.1f"), v }'; }
# Deviation of $1 from $2 in per cent, signed.
dev() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%+.1f%%", (a / b - 1) * 100 }'; }

# The server's CPU time so far in nanoseconds, all its threads.
server_cpu() { cat "/proc/$server_pid/task/"*/schedstat | awk '{ ns += $1 } END { printf "%.0f\n", ns }'; }

echo "Velmora speed tester vs curl: loopback of a private namespace at MTU 1500, HTTPS, shaped"
echo "with tc tbf; the server holds latency probes $HOLD_MS ms. Rates in Mbit/s, latency in ms,"
echo "deviation from the truth in brackets; medians of $REPS rounds."
echo
row() { printf '%-7s | %-7s | %-16s | %-16s | %-7s | %-16s | %-16s | %s\n' "$@"; }
row shaped "truth" "Velmora down" "curl down" "truth" "Velmora up" "curl up" "Velmora latency"
row ------- ------- ---------------- ---------------- ------- ---------------- ---------------- ----------------

for rate in $RATES; do
    # A bucket of 2 ms at the rate, at least 32 KB; the queue holds 50 ms.
    burst=$(((rate * 1000000 / 8 / 500) > 32768 ? (rate * 1000000 / 8 / 500) : 32768))
    inside tc qdisc replace dev lo root tbf rate "${rate}mbit" burst "$burst" latency 50ms
    # About 4 seconds of payload at the rate, at most what Velmora asks for.
    cbytes=$((rate * 500000))
    : > "$work/rows"
    for _ in $(seq "$REPS"); do
        read -r cdown sdown _ < <(curl_down $((cbytes < down_bytes ? cbytes : down_bytes)))
        read -r vlat vdown vup < <(velmora latency download upload)
        read -r cup sup < <(curl_up $((cbytes < up_bytes ? cbytes : up_bytes)))
        awk -v r="$rate" -v sd="$sdown" -v su="$sup" \
            -v cd="$cdown" -v vd="$vdown" -v cu="$cup" -v vu="$vup" -v vl="$vlat" \
            'BEGIN { print r * sd, vd, cd, r * su, vu, cu, vl }' >> "$work/rows"
    done
    col() { awk -v c="$1" '{ print $c }' "$work/rows" | median; }
    tdown=$(col 1) vdown=$(col 2) cdown=$(col 3) tup=$(col 4) vup=$(col 5) cup=$(col 6) vlat=$(col 7)
    row "$rate" "$(fmt "$tdown")" "$(fmt "$vdown") ($(dev "$vdown" "$tdown"))" \
        "$(fmt "$cdown") ($(dev "$cdown" "$tdown"))" "$(fmt "$tup")" \
        "$(fmt "$vup") ($(dev "$vup" "$tup"))" "$(fmt "$cup") ($(dev "$cup" "$tup"))" \
        "$(fmt "$vlat") ($(dev "$vlat" "$HOLD_MS"))"
done

inside tc qdisc del dev lo root
echo
echo "Unshaped, medians of $UNSHAPED_REPS rounds, the tools taking turns; server busy: its CPU time"
echo "over the transfer's time:"
for base in https://localhost:8443 http://127.0.0.1:8080; do
    : > "$work/unshaped"
    for _ in $(seq "$UNSHAPED_REPS"); do
        c0=$(server_cpu)
        read -r cdown _ cseconds < <(curl_down)
        c1=$(server_cpu)
        read -r _ vdown < <(velmora latency download)
        c2=$(server_cpu)
        awk -v c="$cdown" -v v="$vdown" -v cs="$cseconds" -v p="$down_bytes" \
            -v a="$((c1 - c0))" -v b="$((c2 - c1))" \
            'BEGIN { print c, v, a / 1e9 / cs * 100, b / 1e9 / (p * 8 / 1e6 / v) * 100 }' \
            >> "$work/unshaped"
    done
    ucol() { awk -v c="$1" '{ print $c }' "$work/unshaped" | median; }
    ucurl=$(ucol 1) uvel=$(ucol 2)
    printf '  %-5s Velmora %s, curl %s Mbit/s: Velmora at %s %% of curl;' \
        "${base%%:*}" "$(fmt "$uvel")" "$(fmt "$ucurl")" \
        "$(awk -v a="$uvel" -v b="$ucurl" 'BEGIN { printf "%.0f", a / b * 100 }')"
    printf ' server busy %.0f %% (curl), %.0f %% (Velmora)\n' "$(ucol 3)" "$(ucol 4)"
done
echo "Peak resident memory of the Velmora driver in its last download: $(cat "$work/rss") kB."
