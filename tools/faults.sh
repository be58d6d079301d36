#!/usr/bin/env bash
# Runs the fault and load tests against a release build of the gateway with
# the full garbage flood (default 100 MiB; the debug test suite floods 8 MiB)
# and prints the figures each test measured.
#   tools/faults.sh [flood MiB, default 100]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/bootstrap.sh
cmake --preset release >/dev/null
cmake --build --preset release --target tellwick e2e_tests
TW_FLOOD_MB="${1:-100}" TW_STORM=10000 build/release/tests/e2e/e2e_tests \
  --gtest_filter='FaultsE2eTest.*:HostileIniTest.*:ReliabilityE2eTest.*' | grep -E '^\[figure\]|^\[  (PASSED|FAILED)'
exit "${PIPESTATUS[0]}"
