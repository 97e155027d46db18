#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs each for $1 seconds (default 60) from its committed seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1"
cmake -S . -B build-fuzz -G Ninja -DVELMORA_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build build-fuzz -j "${JOBS:-2}"
shopt -s nullglob
for src in tests/fuzz/fuzz_*.cpp; do
  name=$(basename "$src" .cpp)
  seeds="tests/fuzz/corpus/${name#fuzz_}"
  work="build-fuzz/corpus/${name#fuzz_}"
  mkdir -p "$work" build-fuzz/artifacts
  [ -d "$seeds" ] && cp -n "$seeds"/* "$work"/ 2>/dev/null || true
  echo "== fuzzing $name for ${seconds}s"
  "build-fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 "$work"
done
