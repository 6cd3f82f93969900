#!/usr/bin/env bash
# Builds the HTML benchmark optimized and runs it; the figures go to
# bench/out/html_bench.txt as well.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S bench -B build/html_bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/html_bench --target html_bench >/dev/null
mkdir -p bench/out
{
  echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1)"
  echo "command: build/html_bench/html_bench $*"
  build/html_bench/html_bench "$@"
} | tee bench/out/html_bench.txt
