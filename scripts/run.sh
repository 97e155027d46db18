#!/usr/bin/env bash
# Installs what is needed, builds, and runs the desktop program on the virtual
# board with the demo program loaded. Extra arguments go to the program.
# Without a display (a server, a container) it shows the same board from the
# command line instead: the demo is serial-booted, verified and watched.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build-run -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ "${QT_QPA_PLATFORM:-}" = "offscreen" ]; then
  exec ./build-run/velmora --pod=sim examples/demo/demo.out "$@"
fi
echo "No display found: showing the virtual board from the command line."
echo "(Run this script from a desktop session to get the desktop program.)"
./build-run/velmora-cli --pod=sim boot examples/demo/demo.out --verify "$@"
exec ./build-run/velmora-cli --pod=sim watch counter wave noise 'history[3]' \
  --serial-boot examples/demo/demo.out --period 200 --count 10 "$@"
