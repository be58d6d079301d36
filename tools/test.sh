#!/usr/bin/env bash
# Sets up the machine, builds the debug preset (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/bootstrap.sh
cmake --preset debug
cmake --build --preset debug
ctest --preset debug
