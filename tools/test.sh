#!/usr/bin/env bash
# Sets up the machine, checks formatting and the direction of includes, runs
# every fuzz target briefly, then builds the debug preset (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test, so that the output ends
# with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/bootstrap.sh
find src tests tools bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run --Werror
echo "clang-format: clean"
tools/check-layers.sh
tools/fuzz.sh 20
cmake --preset debug
cmake --build --preset debug
ctest --preset debug
