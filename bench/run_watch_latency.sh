#!/usr/bin/env bash
# Watch latency: kavsite watching the 5,000-document benchmark site, one
# document edited at a time; prints the time from the write to the page
# stored on disk (median, p90). Environment: FILES (5000), SEED (11),
# RUNS (41), JOBS (2).
set -euo pipefail
cd "$(dirname "$0")/.."
files=${FILES:-5000}
seed=${SEED:-11}
site=bench/out/site_${files}_${seed}

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF > /dev/null
ninja -C build/release -j"${JOBS:-2}" kavsite > /dev/null
[ -d "$site/kav" ] || python3 bench/gen_site_corpus.py --out "$site" --files "$files" --seed "$seed"
python3 bench/watch_latency.py --kavsite build/release/kavsite --site "$site" --runs "${RUNS:-41}"
