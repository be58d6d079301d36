#!/usr/bin/env bash
# Builds the window demo and photographs the main and debug windows under a
# virtual X display: docs/screenshot-main.png and docs/screenshot-debug.png.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/bootstrap.sh
cmake --preset debug >/dev/null
cmake --build --preset debug --target tellwick-ui-demo
# Qt's and the font library's caches are not leaks worth a failed run here.
export ASAN_OPTIONS=detect_leaks=0
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  build/debug/src/ui/qt/tellwick-ui-demo --screenshots docs
echo "saved docs/screenshot-main.png and docs/screenshot-debug.png"
