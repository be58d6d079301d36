#!/usr/bin/env bash
# Builds the Debian package (tools/package.sh) and proves it on this machine,
# as root: lintian finds no error; the shipped units pass systemd-analyze
# verify and rate an exposure of at most 3.0; the package installs; the
# installed configuration passes --check-config run as the tellwick user; the
# installed program, started as that user beside a fake notify socket, sends
# READY=1, WATCHDOG=1 again and again and a STATUS= line and stops on SIGTERM
# as a service; remove keeps the configuration and the logs; purge removes
# them with the application folder. Leaves the machine as it found it: where
# tellwick is installed, or its configuration in /etc/tellwick is left from
# one, it refuses to run rather than purge a real site.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { echo "package-test: $*"; }
fail() {
  echo "package-test: FAILED: $*" >&2
  exit 1
}

if [ "$(id -u)" -ne 0 ]; then
  fail "needs root (installs and purges the package)"
fi
# Installed, or removed with its configuration kept: dpkg knows it.
state=$(dpkg-query -W -f='${db:Status-Status}' tellwick 2>/dev/null || true)
if { [ -n "$state" ] && [ "$state" != not-installed ]; } || [ -e /etc/tellwick ]; then
  fail "tellwick is installed here; remove it first (apt-get purge tellwick, after saving /etc/tellwick)"
fi

deb=$(tools/package.sh | tail -1)
step "built $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"

lint_status=0
lint=$(lintian --fail-on error "$deb" 2>&1) || lint_status=$?
[ -z "$lint" ] || grep -v 'running with root privileges' <<<"$lint" || true
[ "$lint_status" -eq 0 ] || fail "lintian reports an error"
step "lintian: no error"

scratch=$(mktemp -d)
gateway=
listener=
cleanup() {
  [ -n "$gateway" ] && kill "$gateway" 2>/dev/null || true
  [ -n "$listener" ] && kill "$listener" 2>/dev/null || true
  dpkg --purge tellwick >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

apt-get install -y -qq --no-install-recommends "$deb" >"$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; fail "the package does not install"; }
step "installed"

for unit in tellwick.service tellwick@.service; do
  checked="$scratch/${unit/@/@site}"
  cp "/lib/systemd/system/$unit" "$checked"
  systemd-analyze verify "$checked" || fail "systemd-analyze verify $unit"
  exposure=$(systemd-analyze security --offline=true --threshold=30 "$checked" | tail -1) ||
    fail "$unit: $exposure (more than 3.0)"
  step "$unit: verified, ${exposure#→ }"
done
[ "$(readlink /lib/systemd/system/tellwickforzorvan.service)" = tellwick.service ] ||
  fail "tellwickforzorvan.service is no alias of tellwick.service"

getent passwd tellwick >/dev/null || fail "no user tellwick"
[ "$(stat -c %U /var/log/tellwick)" = tellwick ] || fail "/var/log/tellwick is not tellwick's"
[ "$(readlink /var/lib/tellwick/Tellwick.ini)" = /etc/tellwick/Tellwick.ini ] ||
  fail "/var/lib/tellwick/Tellwick.ini does not link to the configuration"

runuser -u tellwick -- tellwick --check-config >"$scratch/check.txt" ||
  { cat "$scratch/check.txt"; fail "--check-config on the installed configuration"; }
step "--check-config as tellwick: $(tail -1 "$scratch/check.txt")"

# The service manager's side of the notify protocol: a datagram socket whose
# messages are appended to a file.
chmod 0755 "$scratch"
socat -u "UNIX-RECV:$scratch/notify,perm=0666" "OPEN:$scratch/notify.log,creat,append" &
listener=$!
for _ in $(seq 50); do [ -S "$scratch/notify" ] && break; sleep 0.1; done
NOTIFY_SOCKET="$scratch/notify" WATCHDOG_USEC=400000 \
  setpriv --reuid=tellwick --regid=tellwick --init-groups /usr/bin/tellwick &
gateway=$!
notified() { [ "$(grep -o "$1" "$scratch/notify.log" 2>/dev/null | wc -l)" -ge "$2" ]; }
for _ in $(seq 100); do
  notified READY=1 1 && notified WATCHDOG=1 3 && notified STATUS= 1 && break
  sleep 0.1
done
notified READY=1 1 || fail "no READY=1"
notified WATCHDOG=1 3 || fail "no repeated WATCHDOG=1"
notified 'STATUS=alarm server [a-z ]*connected, [0-9]* of [0-9]* ports up, 0 buffered' 1 ||
  fail "no STATUS= line: $(cat "$scratch/notify.log")"
step "notify socket: READY=1, $(grep -o WATCHDOG=1 "$scratch/notify.log" | wc -l) x WATCHDOG=1, $(grep -o 'STATUS=[^=]*buffered' "$scratch/notify.log" | head -1)"
kill -TERM "$gateway"
wait "$gateway" || fail "the gateway ended with status $?"
gateway=
grep -q "ESPA Server is stopping, reason 1" /var/lib/tellwick/LogFiles/*.Log ||
  fail "no service stop line in the event log"
step "stopped as a service"

echo "; kept by remove" >>/etc/tellwick/Tellwick.ini
touch /var/log/tellwick/20990101.Log
apt-get remove -y -qq tellwick >"$scratch/remove.log" 2>&1 || fail "remove"
[ ! -e /usr/bin/tellwick ] || fail "remove left the program"
grep -q "kept by remove" /etc/tellwick/Tellwick.ini || fail "remove lost the configuration"
[ -e /var/log/tellwick/20990101.Log ] || fail "remove lost the logs"
step "removed: configuration and logs kept"

dpkg --purge tellwick >"$scratch/purge.log" 2>&1 || fail "purge"
for path in /etc/tellwick /var/log/tellwick /var/lib/tellwick; do
  [ ! -e "$path" ] || fail "purge left $path"
done
step "purged: configuration, logs and application folder gone"
