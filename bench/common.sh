# shellcheck shell=bash disable=SC2034,SC2154
# Sourced by the benchmark scripts: the programs of the release preset, a
# scratch folder that goes with every process started, and small helpers.
# The script sets bench_name (its name in messages) before sourcing this;
# nothing here depends on the script's arguments, so it is sourced before
# they are read and usage() can print the script's leading comment block.

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
# The script's leading comment block, without the comment marks.
usage() { awk 'NR > 1 { if (!/^#/) exit; sub(/^# ?/, ""); print }' "$0"; }
bad_argument() { echo "$bench_name: unknown argument $1" >&2; usage >&2; exit 2; }
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

# Waits up to 15 s for a line matching $2 in the file $1.
await() {
  local _
  for _ in $(seq 1500); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.01
  done
  die "waited in vain for \"$2\" in $1: $(tail -n 5 "$1" 2>/dev/null)"
}

# Ctrl+C for process $1; killed when it has not ended within 5 s.
stop_process() {
  kill -INT "$1" 2>/dev/null || true
  local _
  for _ in $(seq 500); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.01
  done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# The clock ticks of CPU time (user and system) process $1 has used.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# Microseconds of CPU time per call that process $1 spent since it had used
# $2 clock ticks, over $3 calls. Waiting for a core costs no CPU time, so this
# holds better than calls/s while other work shares the machine.
cpu_us_per_call() {
  awk -v t=$(( $(cpu_ticks "$1") - $2 )) -v hz="$(getconf CLK_TCK)" -v c="$3" \
    'BEGIN { printf "%.1f", 1e6 * (t / hz) / c }'
}

# The CPU time process $1 uses in the next $2 seconds, in % of one core.
idle_cpu_pct() {
  local before after t0 t1
  before=$(cpu_ticks "$1")
  t0=$(now_us)
  sleep "$2"
  after=$(cpu_ticks "$1")
  t1=$(now_us)
  awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v d=$((t1 - t0)) \
    'BEGIN { printf "%.3f", 100 * (t / hz) / (d / 1e6) }'
}

# One stop-and-wait station on one selection, $2 calls to 127.0.0.1:$1, the
# further arguments its own; prints its JSON lines, the load line among them.
run_station() {
  local port=$1 count=$2
  shift 2
  "$station" --connect "127.0.0.1:$port" --address 123 --text "Bench call" \
    --repeat "$count" --one-selection --json --timeout-ms 5000 "$@"
}

# $1 stations at once, $2 calls each, station k on the port that the function
# $4 prints for k, its output in $work/station<k>.out, the further arguments
# theirs; records their total calls/s as $3.
run_stations_parallel() {
  local n=$1 count=$2 name=$3 port_of=$4
  shift 4
  local pids=() k t0 t1
  t0=$(now_us)
  for ((k = 0; k < n; k++)); do
    run_station "$($port_of "$k")" "$count" "$@" >"$work/station$k.out" 2>&1 &
    pids+=("$!")
    started+=("$!")
  done
  for k in "${!pids[@]}"; do
    wait "${pids[$k]}" || die "station $k failed: $(tail -n 2 "$work/station$k.out")"
  done
  t1=$(now_us)
  record "$name" "$(awk -v c=$((n * count)) -v d=$((t1 - t0)) 'BEGIN { printf "%.0f", c / (d / 1e6) }')"
}

# The median of the values recorded under $1, "-" when there are none.
median() {
  awk -v m="$1" '$1 == m { print $2 }' "$metrics" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2];
                              else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
