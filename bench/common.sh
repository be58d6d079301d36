# shellcheck shell=bash disable=SC2034,SC2154
# Sourced by the benchmark scripts: the programs of the release preset, a
# scratch folder that goes with every process started, and small helpers.
# The script sets bench_name (its name in messages) before sourcing this.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/release"
gateway="$build/src/app/tellwick"
station="$build/tools/espa-station/espa-station"
sink="$build/tools/alarm-sink/alarm-sink"
yardstick="$build/bench/yardstick"

work=$(mktemp -d "${TMPDIR:-/tmp}/tellwick-${bench_name%.sh}.XXXXXX")
app="$work/app"
metrics="$work/metrics"
mkdir -p "$app"
: >"$metrics"

# Every process started here is put in started and killed when the script
# ends, however it ends; the scratch folder goes too unless
# TELLWICK_BENCH_KEEP is set.
started=()
cleanup() {
  local pid
  for pid in "${started[@]}"; do
    kill -KILL "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  [ -n "${TELLWICK_BENCH_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

die() { echo "$bench_name: $*" >&2; exit 1; }
note() { echo "-- $*" >&2; }
record() { echo "$1 $2" >>"$metrics"; }
now_us() { local t=$EPOCHREALTIME; echo "${t/./}"; }
# The value of a number field of a one-line JSON object.
json_number() { sed -n "s/.*\"$1\":\(-\{0,1\}[0-9.eE+-]*\).*/\1/p"; }

# Connects to 127.0.0.1:$1 and closes again until it works (15 s at most).
wait_port() {
  local _
  for _ in $(seq 1500); do
    { : <>"/dev/tcp/127.0.0.1/$1"; } 2>/dev/null && return 0
    sleep 0.01
  done
  return 1
}

# The median of the values recorded under $1, "-" when there are none.
median() {
  awk -v m="$1" '$1 == m { print $2 }' "$metrics" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2];
                              else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
