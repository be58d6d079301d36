#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a fixed time on a copy of its seed corpus.
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
  corpus="tests/fuzz/corpus/${name#fuzz_}"
  mkdir -p "$work/$name"
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/$name/"
  echo "== $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
      -artifact_prefix="$work/" "$work/$name" 2>"$work/$name.log"; then
    status=1
    tail -40 "$work/$name.log"
    cp "$work"/crash-* "$work"/timeout-* "$work"/oom-* . 2>/dev/null || true
  fi
  grep -E '^(#[0-9]+\s+DONE|Done [0-9]+ runs)' "$work/$name.log" | tail -1 || true
done
exit $status
