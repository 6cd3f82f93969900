#!/usr/bin/env bash
# Page-generation benchmark: a full kavsite build of a generated site (5,000
# documents, about 25 MB of KAV, every construct) against Hugo building the
# same content in Markdown with a minimal single-page layout. Both run side
# by side in one run, alternating, with warm caches after one warm-up build
# each; the script prints the median wall time and peak resident memory of
# each tool and the ratios.
# Environment: FILES (5000), SEED (11), RUNS (5), JOBS (2).
set -euo pipefail
cd "$(dirname "$0")/.."
files=${FILES:-5000}
seed=${SEED:-11}
runs=${RUNS:-5}
out=bench/out/site_${files}_${seed}

need=()
command -v hugo > /dev/null || need+=(hugo)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y "${need[@]}" > /dev/null
fi

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF > /dev/null
ninja -C build/release -j"${JOBS:-2}" kavsite > /dev/null
[ -d "$out/kav" ] || python3 bench/gen_site_corpus.py --out "$out" --files "$files" --seed "$seed"

kavsite=(build/release/kavsite "targ_p=$out/kav" "root_p=$out/root" deploy
         consent_url=https://127.0.0.1:1/save)  # the connection test stays on this machine
hugo=(hugo --quiet -s "$out/hugo" -d "$PWD/$out/hugo_public")

# Prints "seconds peak_kilobytes" of one run; the tool's own output goes to $2.
measure() {
    local log=$1
    shift
    /usr/bin/time -f "%e %M" -o "$out/time.txt" "$@" > "$log" 2>&1
    cat "$out/time.txt"
}
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

echo "machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -sr)"
echo "hugo: $(hugo version | cut -d' ' -f1-2)"
echo "corpus: $(find "$out/kav" -name '*.kav' | wc -l) documents, $(cat "$out"/kav/*/*.kav | wc -c) bytes of KAV," \
     "$(cat "$out"/hugo/content/*/*.md | wc -c) bytes of Markdown"

measure "$out/kavsite.log" "${kavsite[@]}" > /dev/null
measure "$out/hugo.log" "${hugo[@]}" > /dev/null
k_times=(); k_mem=(); h_times=(); h_mem=()
for _ in $(seq "$runs"); do
    read -r t m < <(measure "$out/kavsite.log" "${kavsite[@]}")
    k_times+=("$t"); k_mem+=("$m")
    read -r t m < <(measure "$out/hugo.log" "${hugo[@]}")
    h_times+=("$t"); h_mem+=("$m")
done

echo "kavsite: $(grep -E 'kav count|html count' "$out/kavsite.log" | tr -d '\t' | paste -sd, -)," \
     "$(grep -c -E '^(warning|error): ' "$out/kavsite.log" || true) diagnostics," \
     "$(find "$out/root/html" -name '*.html' 2> /dev/null | wc -l) HTML files under the root"
echo "hugo:    $(find "$out/hugo_public" -name '*.html' | wc -l) HTML files"
kt=$(printf '%s\n' "${k_times[@]}" | median); km=$(printf '%s\n' "${k_mem[@]}" | median)
ht=$(printf '%s\n' "${h_times[@]}" | median); hm=$(printf '%s\n' "${h_mem[@]}" | median)
echo "runs: $runs each; times kavsite ${k_times[*]} s, hugo ${h_times[*]} s"
awk -v kt="$kt" -v km="$km" -v ht="$ht" -v hm="$hm" 'BEGIN {
    printf "kavsite: median %.2f s, peak resident %.1f MB\n", kt, km / 1024
    printf "hugo:    median %.2f s, peak resident %.1f MB\n", ht, hm / 1024
    printf "hugo / kavsite: time %.2fx, peak memory %.2fx\n", ht / kt, hm / km
}'
