#!/usr/bin/env bash
# Photographs the status page of the running gateway with live traffic in
# headless Chromium: docs/screenshot-status.png.
#
# The gateway runs headless on a scratch folder with three TCP server ports
# and the status server; alarm-sink plays the alarm server, espa-station sends
# calls on the first two ports (one of them with a wrong check character now
# and then) while a watcher keeps the trace rendered; the page at /trace
# shows the newest lines. The third port waits, with its poll-failure alarm
# raised.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build/debug"

tools/bootstrap.sh
cmake --preset debug >/dev/null
cmake --build --preset debug --target tellwick espa-station alarm-sink >/dev/null

export ASAN_OPTIONS=detect_leaks=0
work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

base=$(( 40000 + ($$ % 300) * 10 ))
status_port=$((base + 9))
cat >"$work/Tellwick.ini" <<INI
[General]
ZorvanPort=$((base + 8))
WatchDogTagName=TellwickWatchdog
WatchDogInterval=2
ESPACategory=ESPA
StatusPort=$status_port
[ESPA_Port_0]
Description=Nurse call ward 3
PortType=TCPS
ListenPort=$base
[ESPA_Port_1]
Description=Fire panel
PortType=TCPS
ListenPort=$((base + 1))
[ESPA_Port_2]
Description=Lift alarms
PortType=TCPS
ListenPort=$((base + 2))
PollFailTimeout=2
INI

"$build/src/app/tellwick" --app-folder "$work" --headless >"$work/gateway.out" 2>&1 &
pids+=("$!")
for _ in $(seq 300); do
  { : <>"/dev/tcp/127.0.0.1/$base"; } 2>/dev/null && break
  sleep 0.05
done
# A watcher from the start keeps the trace rendered, so the page gets the
# newest lines as soon as it connects.
watch_trace() {
  exec 3<>"/dev/tcp/127.0.0.1/$status_port"
  printf 'GET /trace HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n' >&3
  cat <&3 >/dev/null
}
watch_trace &
pids+=("$!")
"$build/tools/alarm-sink/alarm-sink" --connect "127.0.0.1:$((base + 8))" --quiet >/dev/null 2>&1 &
pids+=("$!")

call() {
  "$build/tools/espa-station/espa-station" --connect "127.0.0.1:$1" --address "$2" \
    --text "$3" "${@:4}" >/dev/null 2>&1 || true
}
traffic() {
  local n=0
  while :; do
    n=$((n + 1))
    call "$base" "1$((n % 40))" "Room $((n % 12 + 1)) Bed $((n % 3 + 1))"
    call "$((base + 1))" "9$((n % 7))" "Smoke detector zone $((n % 5 + 1))"
    [ $((n % 9)) -eq 0 ] && call "$((base + 1))" 90 "garbled" --bad-bcc
    sleep 0.25
  done
}
traffic &
pids+=("$!")
sleep 3

chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/browser" --hide-scrollbars --window-size=1260,930 \
  --virtual-time-budget=4000 --screenshot="$work/status.png" \
  "http://127.0.0.1:$status_port/trace" >/dev/null 2>&1
# Fewer colours keep the picture small; ImageMagick where it is installed.
if /usr/bin/convert -version 2>/dev/null | grep -q ImageMagick; then
  /usr/bin/convert "$work/status.png" +dither -colors 64 "$root/docs/screenshot-status.png"
else
  cp "$work/status.png" "$root/docs/screenshot-status.png"
fi
echo "status-screenshot: wrote docs/screenshot-status.png"
