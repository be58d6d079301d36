#!/usr/bin/env bash
# Sets up the machine, builds the release preset (the gateway and the
# commissioning tools) and starts the gateway on the example configuration
# (headless where there is no display). Extra arguments go to the gateway.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/bootstrap.sh
cmake --preset release -DTW_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release --target tellwick espa-station alarm-sink ack-echo
exec build/release/src/app/tellwick --app-folder examples "$@"
