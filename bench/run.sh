#!/usr/bin/env bash
# Builds the release preset and measures the gateway: the in-process
# benchmarks, then whole-system figures on loopback with espa-station,
# alarm-sink and ack-echo, each the median of several rounds. Prints a table.
# Beside the gateway, with the same client in the same rounds, run the ACK echo
# (what loopback allows) and the yardstick (bench/yardstick.cpp: what the work
# a call must do allows); the ratio gateway / yardstick is the main figure.
#
#   bench/run.sh            full run (5 rounds, about three minutes)
#   bench/run.sh --smoke    a few seconds of everything, to prove it works
#   bench/run.sh --runs N   N rounds
#
# Everything listens on 127.0.0.1 only; every process started here is ended
# when the script ends, however it ends.
set -euo pipefail
export LC_ALL=C

bench_name=run.sh
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
echo_server="$build/tools/ack-echo/ack-echo"

smoke=0
runs=5
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) smoke=1; runs=1 ;;
    --runs) runs="${2:?--runs needs a number}"; shift ;;
    -h|--help) usage; exit 0 ;;
    *) bad_argument "$1" ;;
  esac
  shift
done

if [ "$smoke" -eq 1 ]; then
  calls=300; calls_per_port=100; latency_calls=200
  idle_windows=1; idle_seconds=2; bench_args=(--benchmark_min_time=0.01)
else
  calls=20000; calls_per_port=5000; latency_calls=5000
  idle_windows=3; idle_seconds=20
  bench_args=(--benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true)
fi

# A pipe nobody writes to: read -t on it is a sleep without a process.
exec {sleep_fd}<> <(:)
pause() { read -r -t "$1" -u "$sleep_fd" _ || true; }

# Connects to 127.0.0.1:$1 and closes again until it works or $2 seconds pass;
# tries every millisecond, for the start-up time.
wait_port_within() {
  local deadline=$(( $(now_us) + $2 * 1000000 ))
  while [ "$(now_us)" -lt "$deadline" ]; do
    if { : <>"/dev/tcp/127.0.0.1/$1"; } 2>/dev/null; then
      return 0
    fi
    pause 0.001
  done
  return 1
}

# Free ports: 8 ESPA ports and the alarm port, in a range chosen per process.
base=$(( 20000 + ($$ % 400) * 20 ))
espa_port() { echo $(( base + $1 )); }
alarm_port=$(( base + 10 ))

write_ini() {
  {
    printf '[General]\nReconnectInterval=30\nWatchDogTagName=TellwickWatchdog\n'
    printf 'WatchDogInterval=30\nESPATimeout=20\nZorvanConnectionMethod=2\n'
    printf 'ZorvanPort=%s\nBufferIfZorvanNotConnected=1\nESPACategory=ESPA\nCommDebug=0\n' \
      "$alarm_port"
    local k
    for k in 0 1 2 3 4 5 6 7; do
      printf '[ESPA_Port_%s]\nDescription=Bench %s\nPortType=TCPS\nListenPort=%s\n' \
        "$k" "$k" "$(espa_port "$k")"
    done
  } >"$app/Tellwick.ini"
}

# Starts the gateway headless and records the time from the spawn until its
# first TCP server port accepts: listening starts at the first once-a-second
# pass.
gateway_pid=
start_gateway() {
  local t0 t1
  t0=$(now_us)
  "$gateway" --app-folder "$app" --headless >>"$work/gateway.out" 2>&1 &
  gateway_pid=$!
  started+=("$gateway_pid")
  wait_port_within "$(espa_port 0)" 15 ||
    die "the gateway did not listen on port $(espa_port 0) within 15 s: $(tail -n 5 "$work/gateway.out")"
  t1=$(now_us)
  record startup_ms "$(awk -v d=$((t1 - t0)) 'BEGIN { printf "%.1f", d / 1000 }')"
  wait_port_within "$alarm_port" 5 || die "the gateway's alarm port $alarm_port did not open"
  pause 0.3  # lets the gateway see the probes closed before a station connects
}

# Starts an alarm sink on the alarm port $1 that ends after $2 alarm lines;
# $3 = --quiet or --json. Returns once the server has taken its connection.
sink_pid=
start_sink() {
  local out="$work/sink.out"
  : >"$out"
  : >"$work/sink.err"
  "$sink" --connect "127.0.0.1:$1" "$3" --count "$2" --timeout-ms 20000 \
    >"$out" 2>"$work/sink.err" &
  sink_pid=$!
  started+=("$sink_pid")
  await "$work/sink.err" "connected to"
  pause 0.2  # the server accepts on its event loop
}

finish_sink() {
  wait "$sink_pid" || die "alarm-sink did not receive every alarm line: $(tail -n 3 "$work/sink.err")"
}

echo_port=
echo_port_of() { echo "$echo_port"; }

run_echo() {
  local line
  line=$(run_station "$echo_port" "$calls" --echo-partner | grep '"event":"load"') ||
    die "the station failed against ack-echo"
  record echo1_cps "$(json_number calls_per_s <<<"$line")"
}

# The same calls against the yardstick, its alarm sink connected.
yardstick_pid=
yard_port=
yard_alarm_port=
run_yardstick() {
  start_sink "$yard_alarm_port" "$calls" --quiet
  local line before
  before=$(cpu_ticks "$yardstick_pid")
  line=$(run_station "$yard_port" "$calls" | grep '"event":"load"') ||
    die "the station failed against the yardstick"
  record yard1_cpu_us "$(cpu_us_per_call "$yardstick_pid" "$before" "$calls")"
  finish_sink
  record yard1_cps "$(json_number calls_per_s <<<"$line")"
}

run_gateway_one_port() {
  start_sink "$alarm_port" "$calls" --quiet
  local line before
  before=$(cpu_ticks "$gateway_pid")
  line=$(run_station "$(espa_port 0)" "$calls" | grep '"event":"load"') ||
    die "the station failed against the gateway"
  record gw1_cpu_us "$(cpu_us_per_call "$gateway_pid" "$before" "$calls")"
  finish_sink
  record gw1_cps "$(json_number calls_per_s <<<"$line")"
  record ack_p50_us "$(json_number p50_us <<<"$line")"
  record ack_p99_us "$(json_number p99_us <<<"$line")"
}

run_gateway_eight_ports() {
  start_sink "$alarm_port" $((8 * calls_per_port)) --quiet
  run_stations_parallel 8 "$calls_per_port" gw8_cps espa_port
  finish_sink
}

# The n-th alarm line at the sink belongs to the n-th ACK at the station:
# their wall-clock times give the ACK-to-alarm-line latency (negative when
# the line came first: the gateway hands the alarm on before it ACKs).
run_latency() {
  start_sink "$alarm_port" "$latency_calls" --json
  run_station "$(espa_port 0)" "$latency_calls" --ack-times "$work/acks" >/dev/null ||
    die "the station failed in the latency run"
  finish_sink
  grep '"kind":"alarm"' "$work/sink.out" | json_number t_us >"$work/lines" || true
  [ "$(wc -l <"$work/lines")" -eq "$latency_calls" ] || die "latency run: alarm lines missing"
  paste "$work/acks" "$work/lines" | awk '{ print $2 - $1 }' | sort -n >"$work/deltas"
  record alarm_p50_us "$(percentile 50 <"$work/deltas")"
  record alarm_p99_us "$(percentile 99 <"$work/deltas")"
}

# Nearest-rank percentile $1 of sorted numbers on stdin.
percentile() {
  awk -v p="$1" '{ v[NR] = $1 } END { r = int((p * NR + 99) / 100); if (r < 1) r = 1; print v[r] }'
}

status_kb() { awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/status"; }

measure_idle() {
  start_gateway
  pause 2
  local k
  for ((k = 0; k < idle_windows; k++)); do
    record idle_cpu_pct "$(idle_cpu_pct "$gateway_pid" "$idle_seconds")"
    record idle_rss_mb "$(awk -v kb="$(status_kb "$gateway_pid" VmRSS)" 'BEGIN { printf "%.1f", kb / 1024 }')"
  done
  stop_process "$gateway_pid"
}

in_process_benchmarks() {
  local name=linklayer_bench
  "$build/bench/$name" "${bench_args[@]}" --benchmark_format=csv >"$work/$name.csv" 2>/dev/null ||
    die "$name failed"
  # name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,...
  awk -F, -v smoke="$smoke" '
    /^"/ {
      name = $1; gsub(/"/, "", name)
      if (smoke == 0 && name !~ /_median$/) next
      sub(/_median$/, "", name)
      printf "inproc %s %.0f %.0f\n", name, $7, $6
    }' "$work/linklayer_bench.csv"
}

# ---------------------------------------------------------------------------

note "building the release preset"
cmake --preset release >/dev/null
cmake --build --preset release --target tellwick espa-station alarm-sink ack-echo yardstick \
  linklayer_bench format_bench >/dev/null

note "in-process benchmarks"
in_process_benchmarks >"$work/inproc"

note "end-to-end: $runs round(s) on ports $base..$((base + 7)), alarm port $alarm_port"
write_ini
"$echo_server" >"$work/echo.out" 2>&1 &
started+=("$!")
for k in $(seq 100); do
  echo_port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$work/echo.out")
  [ -n "$echo_port" ] && break
  pause 0.01
done
[ -n "$echo_port" ] || die "ack-echo did not start"

# Its alarm line is the gateway's for port 0: same description and category.
"$yardstick" --station-port 0 --alarm-port 0 --log "$work/yardstick.log" \
  --description "Bench 0" --category ESPA >"$work/yardstick.out" 2>&1 &
yardstick_pid=$!
started+=("$yardstick_pid")
for k in $(seq 100); do
  yard_port=$(sed -n 's/^listening on .*station port \([0-9]*\),.*/\1/p' "$work/yardstick.out")
  yard_alarm_port=$(sed -n 's/^listening on .*alarm port \([0-9]*\)$/\1/p' "$work/yardstick.out")
  [ -n "$yard_port" ] && break
  pause 0.01
done
[ -n "$yard_port" ] || die "the yardstick did not start: $(cat "$work/yardstick.out")"

for round in $(seq "$runs"); do
  note "round $round of $runs"
  start_gateway
  run_echo
  run_yardstick
  run_gateway_one_port
  run_stations_parallel 8 "$calls_per_port" echo8_cps echo_port_of --echo-partner
  run_gateway_eight_ports
  run_latency
  record gw_hwm_mb "$(awk -v kb="$(status_kb "$gateway_pid" VmHWM)" 'BEGIN { printf "%.1f", kb / 1024 }')"
  stop_process "$gateway_pid"
  # The ratio of each round, from figures measured moments apart.
  e1=$(awk '$1 == "echo1_cps" { v = $2 } END { print v }' "$metrics")
  y1=$(awk '$1 == "yard1_cps" { v = $2 } END { print v }' "$metrics")
  g1=$(awk '$1 == "gw1_cps" { v = $2 } END { print v }' "$metrics")
  e8=$(awk '$1 == "echo8_cps" { v = $2 } END { print v }' "$metrics")
  g8=$(awk '$1 == "gw8_cps" { v = $2 } END { print v }' "$metrics")
  record ratio_yard1 "$(awk -v g="$g1" -v y="$y1" 'BEGIN { printf "%.2f", g / y }')"
  record ratio_yard_echo1 "$(awk -v y="$y1" -v e="$e1" 'BEGIN { printf "%.2f", y / e }')"
  record ratio1 "$(awk -v g="$g1" -v e="$e1" 'BEGIN { printf "%.2f", g / e }')"
  record ratio8 "$(awk -v g="$g8" -v e="$e8" 'BEGIN { printf "%.2f", g / e }')"
done

note "idle gateway with 8 ports: $idle_windows window(s) of $idle_seconds s"
measure_idle

samples() { awk -v m="$1" '$1 == m' "$metrics" | wc -l; }

# Figure, its metric, the target as an awk condition on v and as text.
row() {
  local label=$1 metric=$2 condition=$3 target=$4 value verdict=""
  value=$(median "$metric")
  if [ -n "$condition" ] && [ "$value" != "-" ]; then
    verdict=$(awk -v v="$value" "BEGIN { print ($condition) ? \"met\" : \"MISSED\" }")
  fi
  printf '%-44s %12s %5s  %-10s %s\n' "$label" "$value" "$(samples "$metric")" "$target" "$verdict"
}

echo
printf '%-44s %12s %5s  %-10s %s\n' "Figure (median)" "Value" "Runs" "Target" ""
printf '%s\n' "--------------------------------------------------------------------------------------"
while read -r _ name items bytes; do
  printf '%-44s %12s %5s\n' "link layer $name calls/s" "$items" "$runs"
  printf '%-44s %12s %5s\n' "link layer $name MB/s" "$(awk -v b="$bytes" 'BEGIN { printf "%.2f", b / 1e6 }')" "$runs"
done <"$work/inproc"
row "calls/s, 1 TCPS port (gateway)" gw1_cps "" ""
row "calls/s, yardstick (same client)" yard1_cps "" ""
row "ratio gateway / yardstick, 1 port" ratio_yard1 "" ""
row "CPU per call, gateway, 1 port (us)" gw1_cpu_us "" ""
row "CPU per call, yardstick (us)" yard1_cpu_us "" ""
row "calls/s, ACK echo (same client)" echo1_cps "" ""
row "ratio yardstick / echo, 1 port" ratio_yard_echo1 "" ""
row "ratio gateway / echo, 1 port" ratio1 "v >= 0.7" ">= 0.7"
row "calls/s, 8 TCPS ports (total)" gw8_cps "" ""
row "calls/s, ACK echo, 8 connections (total)" echo8_cps "" ""
row "ratio gateway / echo, 8 ports" ratio8 "" ""
row "block to ACK p50 (us)" ack_p50_us "" ""
row "block to ACK p99 (us)" ack_p99_us "v < 1000" "< 1000"
row "ACK to alarm line p50 (us)" alarm_p50_us "" ""
row "ACK to alarm line p99 (us)" alarm_p99_us "v < 1000" "< 1000"
row "idle CPU, 8 ports (% of one core)" idle_cpu_pct "v < 0.5" "< 0.5"
row "resident memory, idle headless (MB)" idle_rss_mb "v < 20" "< 20"
row "peak resident memory under load (MB)" gw_hwm_mb "" ""
row "start-up to first pass (ms)" startup_ms "" ""
