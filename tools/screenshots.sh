#!/usr/bin/env bash
# Photographs the running gateway under a virtual X display:
# docs/screenshot-main.png and docs/screenshot-debug.png.
#
# The gateway runs windowed on a scratch folder with four ports: a TCP server
# port whose station sends calls, after which a silent connection stays open;
# a TCP client port whose station sends a call and goes away; a serial port on
# a pseudo-terminal pair; and a TCP server port left waiting. alarm-sink plays
# the alarm server. The debug window is opened with the mouse through the real
# menu (Show, Debug) before the calls, so it shows their dialogue. There is no
# window manager, so the pictures have no title bars.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build/debug"

if [ -z "${TW_SCREENSHOTS_DISPLAY:-}" ]; then
  tools/bootstrap.sh
  # Developer tools for driving and photographing the windows; not needed to
  # build or run the gateway, so bootstrap does not install them.
  if ! command -v xdotool >/dev/null || ! command -v import >/dev/null; then
    sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends \
      xdotool imagemagick
  fi
  cmake --preset debug >/dev/null
  cmake --build --preset debug --target tellwick espa-station alarm-sink
  TW_SCREENSHOTS_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
    "$root/tools/screenshots.sh"
fi

# Qt's and the font library's caches are not leaks worth a failed run here.
export ASAN_OPTIONS=detect_leaks=0
export LANG=C.UTF-8
work=$(mktemp -d)
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "screenshots: $*" >&2
  for log in "$work"/*.out "$work"/LogFiles/*.Log; do
    [ -f "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
  done
  exit 1
}

# Waits up to 10 s for a command to succeed.
wait_for() {
  for _ in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# How often the gateway's event log holds a text (the log is read afresh each time).
log_count() { cat "$work"/LogFiles/*.Log 2>/dev/null | grep -c "$1" || true; }
log_shows() { [ "$(log_count "$1")" -ge "${2:-1}" ]; }

port_is_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Four consecutive free TCP ports from a random base.
base=0
for _ in $(seq 50); do
  candidate=$((20000 + RANDOM % 30000))
  free=1
  for offset in 0 1 2 3; do
    port_is_free $((candidate + offset)) || free=0
  done
  if [ "$free" -eq 1 ]; then
    base=$candidate
    break
  fi
done
[ "$base" -ne 0 ] || fail "no free ports found"
zorvan_port=$base
ward_port=$((base + 1))
dect_port=$((base + 2))
fire_port=$((base + 3))

# The serial control station talks to the gateway over a pseudo-terminal pair.
socat "pty,raw,echo=0,link=$work/tty-gateway" "pty,raw,echo=0,link=$work/tty-station" \
  2>"$work/socat.out" &
pids+=($!)
wait_for test -e "$work/tty-station" || fail "socat made no pseudo-terminals"

cat >"$work/Tellwick.ini" <<EOF
[General]
ReconnectInterval=2
WatchDogTagName=TellwickWatchdog
WatchDogInterval=30
ESPATimeout=20
ZorvanConnectionMethod=2
ZorvanPort=$zorvan_port
BufferIfZorvanNotConnected=1
ESPACategory=ESPA

[ESPA_Port_0]
Description=Nurse call ward 3
PortType=TCPS
ListenPort=$ward_port
SendInQueue=1
SendPaged=1
SendTerminated=1

[ESPA_Port_1]
Description=Fire panel B
PortType=TCPC
RemoteAddress=127.0.0.1:$fire_port

[ESPA_Port_2]
Description=Building management
PortType=COM
ComSetting=COM1,9600,N,8,1,0
ComDevice=$(readlink -f "$work/tty-gateway")

[ESPA_Port_5]
Description=DECT gateway
PortType=TCPS
ListenPort=$dect_port
EOF

station="$build/tools/espa-station/espa-station"

# The fire panel waits for the gateway's TCP client port to connect to it.
"$station" --listen "127.0.0.1:$fire_port" --accept-timeout-ms 30000 \
  --address 501 --text 'Smoke detector 2.14' --beep 2 --priority 1 >"$work/fire.out" 2>&1 &
fire_station=$!
pids+=("$fire_station")

"$build/src/app/tellwick" --app-folder "$work" >"$work/tellwick.out" 2>&1 &
pids+=($!)
main_title='^Tellwick for Zorvan Alarm Server - Version'
wait_for xdotool search --onlyvisible --name "$main_title" || fail "the main window did not appear"
main=$(xdotool search --onlyvisible --name "$main_title" | head -n 1)

"$build/tools/alarm-sink/alarm-sink" --connect "127.0.0.1:$zorvan_port" >"$work/sink.out" 2>&1 &
pids+=($!)
wait_for log_shows "Accepted Zorvan connection" || fail "alarm-sink did not connect"

# Show, Debug through the menu, with the mouse: click "Show" in the menu bar
# (where it lies with DejaVu Sans at 96 dpi), then the one entry of the menu
# that drops down, found as the window that appeared. Keyboard focus would
# mark a row of the list as current, so no keys are sent.
visible_windows() { xdotool search --onlyvisible --name '' | sort; }
before=$(visible_windows)
new_window() { comm -13 <(echo "$before") <(visible_windows) | head -n 1 | grep .; }
xdotool mousemove --window "$main" 58 10 click 1
wait_for new_window || fail "the Show menu did not drop down"
eval "$(xdotool getwindowgeometry --shell "$(new_window)")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
debug_title='^Tellwick for Zorvan Alarm Server - Debug$'
wait_for xdotool search --name "$debug_title" || fail "Show, Debug did not open the debug window"
debug=$(xdotool search --name "$debug_title" | head -n 1)
xdotool windowmove --sync "$debug" 0 260
# A window manager would make the new window the active one; here that is done
# by hand, and the main window's list loses its focus frame.
xdotool windowfocus --sync "$debug"

# Traffic: one call from the serial panel, two from the ward's station (its
# dialogue, with the call-status replies, is what the debug window keeps in
# view); the fire panel's call went out when the gateway connected to it.
"$station" --serial "$work/tty-station" --settings 9600,N,8,1 \
  --address 77 --text 'Pump room high water' --type 3 >"$work/bms.out" 2>&1 ||
  fail "the serial station failed"
"$station" --connect "127.0.0.1:$ward_port" \
  --address 123 --text 'Room 12 bed 2' --beep 1 --priority 2 --next-call \
  --address 124 --text 'Room 14 Ärztin' --beep 1 --priority 1 >"$work/ward.out" 2>&1 ||
  fail "the ward's station failed"
wait "$fire_station" || fail "the fire panel's station failed"

# A silent connection stays open on the ward's port for the picture.
socat -u "EXEC:sleep 600" "TCP:127.0.0.1:$ward_port" &
pids+=($!)
wait_for log_shows "Connection (0) accepted" 2 || fail "the ward's idle connection was not accepted"
# The status columns follow within the gateway's one-second tick.
sleep 1.5

# The pointer would light up the list row under it.
xdotool mousemove 1200 1000
mkdir -p docs
import -window "$main" docs/screenshot-main.png
import -window "$debug" docs/screenshot-debug.png
echo "saved docs/screenshot-main.png and docs/screenshot-debug.png"
