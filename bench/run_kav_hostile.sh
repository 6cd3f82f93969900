#!/usr/bin/env bash
# KAV parse of hostile documents (a label repeated on every line, deeply
# nested quote markers, thousands of table columns): tokenize + parse only,
# single thread, median of RUNS processes per document, in fresh memory (as a
# build pays) and with the memory already mapped (--warm: the parser's own
# work). Each shape is parsed at size N and 2N; the ratio of the two mapped
# times shows how the parse grows (2 for linear work). Also prints the arena
# bytes per source byte. Environment: SCALE (1), RUNS (7), JOBS (2).
set -euo pipefail
cd "$(dirname "$0")/.."
scale=${SCALE:-1}
runs=${RUNS:-7}
out=bench/out/kav_hostile_${scale}

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF > /dev/null
ninja -C build/release -j"${JOBS:-2}" kavsite_kav kavsite_site kavsite_htmldom kavsite_urlcheck kavsite_base > /dev/null
b=build/release
g++ -std=c++20 -O2 -DNDEBUG -Isrc bench/kav_parse_bench.cpp -o "$b/kav_parse_bench" \
    "$b/libkavsite_kav.a" "$b/libkavsite_site.a" "$b/libkavsite_htmldom.a" "$b/libkavsite_kav.a" \
    "$b/libkavsite_urlcheck.a" "$b/libkavsite_base.a" -lcurl -lpthread
python3 bench/gen_kav_hostile.py --out "$out" --scale "$scale"

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
field() { tr ' ' '\n' | sed -n "s/^$1=//p"; }

echo "machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
for shape in labels quotes columns; do
    declare -A mapped=()
    for factor in 1x 2x; do
        cold=(); warm=()
        for _ in $(seq "$runs"); do cold+=("$("$b/kav_parse_bench" "$out/${shape}_$factor" 2>&1)"); done
        for _ in $(seq "$runs"); do warm+=("$("$b/kav_parse_bench" "$out/${shape}_$factor" --warm 2>&1)"); done
        mapped[$factor]=$(printf '%s\n' "${warm[@]}" | field seconds | median)
        echo "$shape $factor: $(printf '%s\n' "${cold[@]}" | field bytes | median) bytes," \
             "fresh memory median $(printf '%s\n' "${cold[@]}" | field seconds | median) s," \
             "mapped memory median ${mapped[$factor]} s," \
             "$(printf '%s\n' "${cold[@]}" | field arena_bytes_per_source_byte | median) arena bytes per source byte," \
             "peak resident $(printf '%s\n' "${cold[@]}" | field peak_rss_mb | median) MB"
    done
    echo "$shape: mapped time 2x / 1x = $(awk -v a="${mapped[1x]}" -v b="${mapped[2x]}" 'BEGIN {printf "%.2f", b / a}')"
    unset mapped
done
