#!/usr/bin/env bash
# Smoke test of the yardstick, run by CTest: a call with the alarm sink
# connected is answered ACK and becomes one alarm line and one event-log line;
# a block with a wrong check character is answered NAK; SIGTERM ends it
# cleanly. Every wait is bounded, so a fault fails the test instead of hanging it.
#
#   bench/yardstick-smoke.sh YARDSTICK ESPA-STATION ALARM-SINK
set -euo pipefail
export LC_ALL=C

yardstick=${1:?the yardstick program}
station=${2:?the espa-station program}
sink=${3:?the alarm-sink program}

work=$(mktemp -d "${TMPDIR:-/tmp}/yardstick-smoke.XXXXXX")
started=()
cleanup() {
  local pid
  for pid in "${started[@]}"; do
    kill -KILL "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() { echo "yardstick-smoke: $*" >&2; exit 1; }

# Waits up to 5 s for a line matching the pattern $2 in the file $1.
await() {
  local _
  for _ in $(seq 500); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.01
  done
  fail "waited in vain for \"$2\" in $1: $(cat "$1" 2>/dev/null)"
}

"$yardstick" --station-port 0 --alarm-port 0 --log "$work/events.log" --description Smoke \
  >"$work/yardstick.out" 2>&1 &
yardstick_pid=$!
started+=("$yardstick_pid")
await "$work/yardstick.out" "^listening on"
station_port=$(sed -n 's/.*station port \([0-9]*\),.*/\1/p' "$work/yardstick.out")
alarm_port=$(sed -n 's/.*alarm port \([0-9]*\)$/\1/p' "$work/yardstick.out")

"$sink" --connect "127.0.0.1:$alarm_port" --json --count 1 --timeout-ms 5000 \
  >"$work/sink.out" 2>"$work/sink.err" &
sink_pid=$!
started+=("$sink_pid")
await "$work/sink.err" "connected to"

# The whole dialogue: selection, block, EOT, then a poll that finds nothing.
"$station" --connect "127.0.0.1:$station_port" --address 123 --text "Smoke  call " \
  --timeout-ms 5000 >"$work/call.out" 2>&1 || fail "the call failed: $(cat "$work/call.out")"
grep -q "^block 1: ACK" "$work/call.out" || fail "no ACK: $(cat "$work/call.out")"
grep -q "^poll: nothing queued (EOT)" "$work/call.out" || fail "poll: $(cat "$work/call.out")"

status=0
"$station" --connect "127.0.0.1:$station_port" --text X --bad-bcc --timeout-ms 5000 \
  >"$work/bad.out" 2>&1 || status=$?
[ "$status" -eq 4 ] || fail "a wrong check character got exit $status, not 4 (NAK): $(cat "$work/bad.out")"

wait "$sink_pid" || fail "the alarm line did not arrive: $(cat "$work/sink.err")"
grep -q '"raw":"1|||Smoke||ESPA||Smoke call|"' "$work/sink.out" ||
  fail "unexpected alarm line: $(cat "$work/sink.out")"

kill -TERM "$yardstick_pid"
for _ in $(seq 500); do
  kill -0 "$yardstick_pid" 2>/dev/null || break
  sleep 0.01
done
wait "$yardstick_pid" || fail "SIGTERM: exit status $?, not 0"
grep -q "^1 calls answered ACK, 1 NAK; 0 alarm lines not sent" "$work/yardstick.out" ||
  fail "unexpected summary: $(cat "$work/yardstick.out")"
log_line=$'^[0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} Got ESPA message: Smoke call\r$'
if [ "$(wc -l <"$work/events.log")" -ne 1 ] || ! grep -qE "$log_line" "$work/events.log"; then
  fail "unexpected event log: $(cat -A "$work/events.log")"
fi
echo "yardstick-smoke: passed"
