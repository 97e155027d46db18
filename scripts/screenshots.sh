#!/usr/bin/env bash
# Renders the pictures of docs/screenshots on Qt's offscreen platform: the main
# window on the virtual board with a program loaded and watched, the plot of
# two of its values in both layouts, the Recorder window with a capture of the
# demo's step response in the plot, the configuration dialog, and a progress
# dialog half-way through a serial boot.
# Usage: scripts/screenshots.sh [build folder]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "${JOBS:-2}" --target app_screenshots_qtest
mkdir -p docs/screenshots
QT_QPA_PLATFORM=offscreen VELMORA_SCREENSHOT_DIR="$PWD/docs/screenshots" \
  "$dir/tests/app_screenshots_qtest" -silent
ls -l docs/screenshots/*.png
