#!/usr/bin/env bash
# Sets up the machine, runs every fuzz target briefly, then builds the debug
# preset (AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test,
# so that the output ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/bootstrap.sh
tools/fuzz.sh 20
cmake --preset debug
cmake --build --preset debug
ctest --preset debug
