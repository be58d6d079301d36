#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a fixed time on a copy of its seed corpus and of the inputs
# that once broke it (tests/fuzz/regressions/<name>). Prints one line per
# target; fails when any target finds a crash, a timeout or runs out of memory,
# and copies the input that did it into the project folder.
#   tools/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
tools/bootstrap.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for target in build/fuzz/tests/fuzz/fuzz_*; do
  name="$(basename "$target")"
  mkdir -p "$work/$name"
  for seeds in "tests/fuzz/corpus/${name#fuzz_}" "tests/fuzz/regressions/$name"; do
    if [ -d "$seeds" ]; then cp -r "$seeds/." "$work/$name/"; fi
  done
  result=ok
  if ! "$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$work/$name-" "$work/$name" 2>"$work/$name.log"; then
    status=1
    result=FAILED
    tail -40 "$work/$name.log"
    cp "$work/$name"-crash-* "$work/$name"-timeout-* "$work/$name"-oom-* . 2>/dev/null || true
  fi
  runs="$(awk '/stat::number_of_executed_units/ {print $2}' "$work/$name.log")"
  speed="$(awk '/stat::average_exec_per_sec/ {print $2}' "$work/$name.log")"
  echo "fuzz: $name $result, ${runs:-?} runs in ${seconds} s, ${speed:-?} exec/s"
done
exit $status
