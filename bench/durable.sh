#!/usr/bin/env bash
# What the durable alarm buffer (PersistAlarmBuffer=1) costs: builds the
# release preset, runs bench/alarmbuffer_bench.cpp (in process: an alarm
# delivered at once, and one buffered and delivered later, with the journal
# off and on), then the gateway headless with one TCP server port, the
# journal off and on taken in turn in every round, in two set-ups:
#   away       no alarm server: 190 calls, every one buffered (the bound is 200)
#   connected  alarm-sink connected: every call delivered at once
# For each, espa-station (stop-and-wait, one selection) measures the calls/s
# and the time from a block's last byte to its ACK. The journal lies in the
# application folder under TMPDIR (else /tmp): run it on the disk the
# gateway's folder will be on. Prints the median of the rounds.
#
#   bench/durable.sh            5 rounds (about a minute)
#   bench/durable.sh --smoke    one short round, to prove it works
#   bench/durable.sh --runs N   N rounds
#
# Everything listens on 127.0.0.1 only; every process started here is ended
# when the script ends, however it ends.
set -euo pipefail
export LC_ALL=C

bench_name=durable.sh
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"

runs=5
connected_calls=3000
bench_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) runs=1; connected_calls=200; bench_args=(--benchmark_min_time=0.01) ;;
    --runs) runs="${2:?--runs needs a number}"; shift ;;
    -h|--help) usage; exit 0 ;;
    *) bad_argument "$1" ;;
  esac
  shift
done

base=$(( 30000 + ($$ % 300) * 20 ))
espa_port=$base
alarm_port=$(( base + 1 ))

gateway_pid=
start_gateway() {
  rm -f "$app/AlarmBuffer.journal"
  printf '[General]\nWatchDogTagName=\nZorvanConnectionMethod=2\nZorvanPort=%s\nESPACategory=ESPA\n' \
    "$alarm_port" >"$app/Tellwick.ini"
  printf 'CommDebug=0\nPersistAlarmBuffer=%s\n[ESPA_Port_0]\nDescription=Bench\nPortType=TCPS\nListenPort=%s\n' \
    "$1" "$espa_port" >>"$app/Tellwick.ini"
  "$gateway" --app-folder "$app" --headless >>"$work/gateway.out" 2>&1 &
  gateway_pid=$!
  started+=("$gateway_pid")
  wait_port "$espa_port" || die "the gateway did not listen: $(tail -n 5 "$work/gateway.out")"
  sleep 0.3
}

stop_gateway() { stop_process "$gateway_pid"; }

# One station's run of calls; records its calls/s and ACK p50 and p99.
measure_station() {
  local name=$1 calls=$2
  run_station "$espa_port" "$calls" >"$work/station.out" 2>&1 ||
    die "the station failed: $(tail -n 2 "$work/station.out")"
  local load
  load=$(grep '"event":"load"' "$work/station.out")
  record "${name}_cps" "$(json_number calls_per_s <<<"$load")"
  record "${name}_p50" "$(json_number p50_us <<<"$load")"
  record "${name}_p99" "$(json_number p99_us <<<"$load")"
  note "$name: $(tail -n 3 "$metrics" | tr '\n' ' ')"
}

away() {
  start_gateway "$1"
  measure_station "away$1" 190
  stop_gateway
}

connected() {
  start_gateway "$1"
  "$sink" --connect "127.0.0.1:$alarm_port" --quiet --count "$connected_calls" \
    --timeout-ms 30000 >/dev/null 2>"$work/sink.err" &
  local sink_pid=$!
  started+=("$sink_pid")
  await "$work/sink.err" "connected to"
  sleep 0.2
  measure_station "connected$1" "$connected_calls"
  wait "$sink_pid" || die "alarm-sink missed alarm lines"
  stop_gateway
}

note "building the release preset"
cmake --preset release >/dev/null
cmake --build --preset release --target tellwick espa-station alarm-sink alarmbuffer_bench >/dev/null

note "in process"
"$build/bench/alarmbuffer_bench" "${bench_args[@]}" --benchmark_format=csv 2>/dev/null |
  awk -F, '/^"/ && $1 !~ /_(mean|stddev|cv)"$/ {
             name = $1; gsub(/"/, "", name); sub(/_median$/, "", name)
             printf "%s %.2f %.2f\n", name, $3 / 1000, $4 / 1000 }' >"$work/inproc"

# The order alternates from round to round, so neither set-up always runs
# just after the other's disk writes.
for round in $(seq "$runs"); do
  note "round $round of $runs"
  order="0 1"
  [ $((round % 2)) -eq 1 ] || order="1 0"
  for journal in $order; do
    away "$journal"
    connected "$journal"
  done
done

inproc() { awk -v key="$1" '$1 == key { printf "%s / %s", $2, $3 }' "$work/inproc"; }
rounded() { local v; v=$(median "$1"); [ "$v" = - ] && echo - || printf '%.0f\n' "$v"; }
cells() { printf ' %s | %s |' "$(rounded "${1}0_$2")" "$(rounded "${1}1_$2")"; }

printf '\n| In process, release build: wall / CPU time (us) per alarm | journal off | journal on |\n'
printf '|---|---:|---:|\n'
printf '| delivered at once (alarm server connected) | %s | %s |\n' \
  "$(inproc DeliveredAtOnce/journal:0)" "$(inproc DeliveredAtOnce/journal:1)"
printf '| buffered, then delivered with 199 others | %s | %s |\n' \
  "$(inproc BufferedThenDelivered/journal:0)" "$(inproc BufferedThenDelivered/journal:1)"
printf '\n| Whole gateway (median of %s) | journal off | journal on |\n' "$runs"
printf '|---|---:|---:|\n'
printf '| alarm server away, calls/s |%s\n' "$(cells away cps)"
printf '| alarm server away, block to ACK p50 (us) |%s\n' "$(cells away p50)"
printf '| alarm server away, block to ACK p99 (us) |%s\n' "$(cells away p99)"
printf '| alarm server connected, calls/s |%s\n' "$(cells connected cps)"
printf '| alarm server connected, block to ACK p50 (us) |%s\n' "$(cells connected p50)"
printf '| alarm server connected, block to ACK p99 (us) |%s\n' "$(cells connected p99)"
