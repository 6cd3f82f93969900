#!/usr/bin/env bash
# KAV parse benchmark: tokenize + parse of a generated corpus (>= 20 MB,
# every construct), single thread, median of RUNS fresh processes; then the
# same with the memory already mapped (--warm); then references measured in
# the same run: cat over the corpus, and cmark over its Markdown twin when
# cmark is installed. Environment: BYTES (20000000), SEED (7), RUNS (7), JOBS (2).
set -euo pipefail
cd "$(dirname "$0")/.."
bytes=${BYTES:-20000000}
seed=${SEED:-7}
runs=${RUNS:-7}
out=bench/out/kav_parse_${bytes}_${seed}

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF > /dev/null
ninja -C build/release -j"${JOBS:-2}" kavsite_kav kavsite_site kavsite_htmldom kavsite_urlcheck kavsite_base > /dev/null
b=build/release
g++ -std=c++20 -O2 -DNDEBUG -Isrc bench/kav_parse_bench.cpp -o "$b/kav_parse_bench" \
    "$b/libkavsite_kav.a" "$b/libkavsite_site.a" "$b/libkavsite_htmldom.a" "$b/libkavsite_kav.a" \
    "$b/libkavsite_urlcheck.a" "$b/libkavsite_base.a" -lcurl -lpthread
[ -d "$out/kav" ] || python3 bench/gen_kav_parse_corpus.py --out "$out" --bytes "$bytes" --seed "$seed"

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
field() { tr ' ' '\n' | sed -n "s/^$1=//p"; }

echo "machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
cold=(); warm=(); each=()
for _ in $(seq "$runs"); do cold+=("$("$b/kav_parse_bench" "$out/kav" 2>&1)"); done
for _ in $(seq "$runs"); do warm+=("$("$b/kav_parse_bench" "$out/kav" --warm 2>&1)"); done
for _ in $(seq "$runs"); do each+=("$("$b/kav_parse_bench" "$out/kav" --per-document 2>&1)"); done
echo "one run: ${cold[0]}"
echo "parse, fresh memory:  median $(printf '%s\n' "${cold[@]}" | field mb_per_s | median) MB/s" \
     "($(printf '%s\n' "${cold[@]}" | field seconds | median) s)"
echo "parse, mapped memory: median $(printf '%s\n' "${warm[@]}" | field mb_per_s | median) MB/s" \
     "($(printf '%s\n' "${warm[@]}" | field seconds | median) s)"
echo "parse, one document at a time in a reused arena (as a build does):" \
     "median $(printf '%s\n' "${each[@]}" | field mb_per_s | median) MB/s" \
     "($(printf '%s\n' "${each[@]}" | field seconds | median) s), peak resident" \
     "$(printf '%s\n' "${each[@]}" | field peak_rss_mb | median) MB"
echo "peak memory: median $(printf '%s\n' "${cold[@]}" | field rss_growth_mb_per_source_mb | median) MB resident" \
     "per MB of source, $(printf '%s\n' "${cold[@]}" | field arena_bytes_per_source_byte | median) arena bytes per source byte"

ref_times() { for _ in $(seq "$runs"); do /usr/bin/env time -f %e "$@" 2>&1 >/dev/null | tail -1; done | median; }
cat_s=$(ref_times sh -c "cat $out/kav/*.kav")
echo "reference cat (kav files): median ${cat_s} s"
if command -v cmark > /dev/null; then
    cmark_s=$(ref_times sh -c "cat $out/md/*.md | cmark")
    echo "reference cmark (Markdown twin, parse + HTML): median ${cmark_s} s"
else
    echo "reference cmark: not installed (apt-get install cmark)"
fi
