#!/usr/bin/env bash
# Sets up the machine, builds the release preset and starts the gateway on the
# example configuration (headless where there is no display). Extra arguments
# go to the gateway.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/bootstrap.sh
cmake --preset release -DTW_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release --target tellwick
exec build/release/src/shell/tellwick --app-folder examples "$@"
