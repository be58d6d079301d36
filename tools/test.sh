#!/usr/bin/env bash
# Sets up the machine, checks formatting and the direction of includes, runs
# every fuzz target briefly, builds the Debian package and proves it on this
# machine (as root), then builds the debug preset (AddressSanitizer and
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
if [ "$(id -u)" -eq 0 ]; then
  tools/package-test.sh
else
  echo "package-test: skipped, it installs and purges the package and needs root"
fi
cmake --preset debug
cmake --build --preset debug
ctest --preset debug
