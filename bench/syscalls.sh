#!/usr/bin/env bash
# Counts the system calls a call costs, for the gateway and for the yardstick
# (bench/yardstick.cpp), on the release preset: each server on one TCP server
# port with alarm-sink connected and the event log written; strace -f -c is
# attached to the running server (every thread) once the sink is connected,
# espa-station sends the calls (stop-and-wait, one selection for all), and
# strace is detached again. Prints the system calls per call of each and the
# most frequent ones. Start-up and the connections made beforehand are not
# counted; what the server does meanwhile on its own (the gateway's 100 ms
# timer) is, and adds well under 0.1 system calls per call.
#
#   bench/syscalls.sh              2,000 calls each
#   bench/syscalls.sh --calls N    N calls each
#   bench/syscalls.sh --top N      the N most frequent system calls (default 8)
#                                  of those made at least once in 100 calls
#
# Needs strace (tools/bootstrap.sh installs it). Everything listens on
# 127.0.0.1 only; every process started here is ended when the script ends.
set -euo pipefail
export LC_ALL=C

bench_name=syscalls.sh
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"

calls=2000
top=8
while [ $# -gt 0 ]; do
  case "$1" in
    --calls) calls="${2:?--calls needs a number}"; shift ;;
    --top) top="${2:?--top needs a number}"; shift ;;
    -h|--help) usage; exit 0 ;;
    *) bad_argument "$1" ;;
  esac
  shift
done

base=$(( 40000 + ($$ % 400) * 20 ))
espa_port=$base
alarm_port=$(( base + 1 ))

# One TCP server port, the event log written, as on a site.
write_ini() {
  {
    printf '[General]\nReconnectInterval=30\nWatchDogTagName=TellwickWatchdog\n'
    printf 'WatchDogInterval=30\nESPATimeout=20\nZorvanConnectionMethod=2\n'
    printf 'ZorvanPort=%s\nBufferIfZorvanNotConnected=1\nESPACategory=ESPA\nCommDebug=0\n' \
      "$alarm_port"
    printf '[ESPA_Port_0]\nDescription=Bench 0\nPortType=TCPS\nListenPort=%s\n' "$espa_port"
  } >"$app/Tellwick.ini"
}

server_pid=
start_gateway() {
  write_ini
  "$gateway" --app-folder "$app" --headless >"$work/server.out" 2>&1 &
  server_pid=$!
  started+=("$server_pid")
  wait_port "$espa_port" || die "nothing listens on port $espa_port"
  wait_port "$alarm_port" || die "nothing listens on port $alarm_port"
}

start_yardstick() {
  "$yardstick" --station-port "$espa_port" --alarm-port "$alarm_port" --log "$work/yardstick.log" \
    --description "Bench 0" --category ESPA >"$work/server.out" 2>&1 &
  server_pid=$!
  started+=("$server_pid")
  await "$work/server.out" "^listening on"
}

stop_server() { stop_process "$server_pid"; }

# The calls against the running server with strace attached; leaves strace's
# summary (calls, errors, name; most frequent first) in $work/$1.count.
count_calls() {
  local name=$1
  "$sink" --connect "127.0.0.1:$alarm_port" --quiet --count "$calls" --timeout-ms 60000 \
    >"$work/sink.out" 2>"$work/sink.err" &
  local sink_pid=$!
  started+=("$sink_pid")
  await "$work/sink.err" "connected to"
  sleep 0.3  # the server takes the sink on its own loop, before strace looks

  strace -f -c -U calls,errors,name -S calls -o "$work/$name.count" -p "$server_pid" \
    2>"$work/strace.err" &
  local strace_pid=$!
  started+=("$strace_pid")
  await "$work/strace.err" "Process $server_pid attached"
  sleep 0.3  # every thread attached

  "$station" --connect "127.0.0.1:$espa_port" --address 123 --text "Bench call" \
    --repeat "$calls" --one-selection --timeout-ms 10000 >"$work/station.out" 2>&1 ||
    die "the station failed against the $name: $(tail -n 2 "$work/station.out")"
  wait "$sink_pid" || die "alarm-sink missed alarm lines from the $name: $(cat "$work/sink.err")"

  kill -INT "$strace_pid"
  wait "$strace_pid" || true
  grep -q " total$" "$work/$name.count" || die "strace gave no summary: $(cat "$work/strace.err")"
}

# strace's table: "calls [errors] name" between dashed lines, "total" last.
# Shows the most frequent system calls that come at least once in 100 calls.
report() {
  local name=$1
  awk -v name="$name" -v calls="$calls" -v top="$top" '
    $1 !~ /^[0-9]+$/ { next }
    {
      errors = NF == 3 ? $2 : 0
      if ($NF == "total") {
        printf "%s: %.2f system calls per call (%d in %d calls)\n", name, $1 / calls, $1, calls
        next
      }
      if ($1 / calls >= 0.01 && ++shown <= top) {
        line[shown] = sprintf("  %-18s %8.2f per call%s", $NF, $1 / calls,
                              errors > 0 ? sprintf(", %.2f failing", errors / calls) : "")
      }
    }
    END { for (k = 1; k <= shown && k <= top; ++k) print line[k] }
  ' "$work/$name.count"
}

# ---------------------------------------------------------------------------

command -v strace >/dev/null || die "strace is missing: tools/bootstrap.sh installs it"
note "building the release preset"
cmake --preset release >/dev/null
cmake --build --preset release --target tellwick espa-station alarm-sink yardstick >/dev/null

note "gateway: $calls calls on port $espa_port, alarm port $alarm_port"
start_gateway
count_calls gateway
stop_server

note "yardstick: $calls calls on port $espa_port, alarm port $alarm_port"
start_yardstick
count_calls yardstick
stop_server

echo
report gateway
echo
report yardstick
