#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: unit, widget and
# end-to-end tests through CTest, the Debian package's checks, then the
# fuzzers for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build
ctest --test-dir build --output-on-failure -j "${JOBS:-2}" --timeout 600
scripts/package.sh build
scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
