#!/usr/bin/env bash
# Builds kavsite (Release), writes the corpus when it is missing, and runs the
# walk + fetch benchmark. Environment: FILES (10000), BYTES (50000000),
# RUNS (7), JOBS (2).
set -euo pipefail
cd "$(dirname "$0")/.."
files=${FILES:-10000}
bytes=${BYTES:-50000000}
# The files are named *.txt: the build walks the folder and reads none of
# them (only .kav documents are read), so the run measures the walk alone.
corpus=bench/out/corpus_${files}_${bytes}_txt

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF > /dev/null
ninja -C build/release -j"${JOBS:-2}" kavsite > /dev/null
[ -d "$corpus" ] || python3 bench/gen_corpus.py --out "$corpus" --files "$files" --bytes "$bytes" --ext txt
python3 bench/walk_fetch.py --kavsite build/release/kavsite --corpus "$corpus" --runs "${RUNS:-7}"
