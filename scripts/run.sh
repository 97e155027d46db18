#!/usr/bin/env bash
# Installs what is needed, builds, and runs the program on the virtual board.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build-run -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF
exec ./build-run/velmora-cli info examples/demo/demo.out "$@"
