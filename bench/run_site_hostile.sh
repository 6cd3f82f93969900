#!/usr/bin/env bash
# Hostile documents built whole: for each shape of bench/gen_site_hostile.py,
# one build of a site holding only that document (Release kavsite,
# max_doc_mb=0 so that no size limit applies), with its wall time, peak
# resident memory, the size of the page written, and the memory aim: at most
# twice the page's size plus 100 MB.
# Environment: MB (10: the size of the large shapes; mixed is ten times it),
# SHAPES (all), JOBS (2).
set -euo pipefail
cd "$(dirname "$0")/.."
mb=${MB:-10}
out=bench/out/site_hostile_$mb
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF > /dev/null
ninja -C build/release -j"${JOBS:-2}" kavsite > /dev/null
[ -f "$out/columns/doc.kav" ] || python3 bench/gen_site_hostile.py --out "$out" --megabytes "$mb"
echo "machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
printf "%-10s %10s %9s %11s %11s %11s %s\n" shape source wall peak page aim holds
for shape in ${SHAPES:-footnotes links mixed labels quotes columns}; do
    root=$out/root_$shape
    rm -rf "$root"
    mkdir -p "$root"
    /usr/bin/time -f "%e %M" -o "$out/time.txt" build/release/kavsite "targ_p=$out/$shape" "root_p=$root" \
        max_doc_mb=0 consent_url=https://127.0.0.1:1/save > "$out/$shape.log" 2>&1 || true
    read -r wall peak_kb < "$out/time.txt"
    source_bytes=$(stat -c %s "$out/$shape/doc.kav")
    page_bytes=$(stat -c %s "$root/html/hostile/$shape.html" 2> /dev/null || echo 0)
    awk -v s="$shape" -v src="$source_bytes" -v w="$wall" -v p="$peak_kb" -v pg="$page_bytes" 'BEGIN {
        aim = 2 * pg / 1048576 + 100; peak = p / 1024
        printf "%-10s %8.1fMB %8.2fs %9.1fMB %9.1fMB %9.1fMB %s\n", s, src / 1048576, w, peak, pg / 1048576, aim,
               (peak <= aim ? "yes" : "no")
    }'
done
