#!/usr/bin/env bash
# Builds and runs every test twice: a plain build (g++) and an
# AddressSanitizer + UndefinedBehaviorSanitizer build (clang) that also runs
# the fuzz targets for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)

echo "== plain build =="
cmake -S . -B build/plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVSITE_WERROR=ON
cmake --build build/plain
ctest --test-dir build/plain --output-on-failure -j"$jobs"

echo "== sanitizer build =="
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKAVSITE_WERROR=ON -DKAVSITE_SANITIZE=ON -DKAVSITE_FUZZ=ON
cmake --build build/sanitize
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

echo "all tests passed (plain and sanitizer builds)"
