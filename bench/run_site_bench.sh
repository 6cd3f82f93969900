#!/usr/bin/env bash
# Site-build benchmark: every speed aim of a kavsite build, each printed next
# to its figure, from one run on one machine.
#
#   1. Rebuild of the 5,000-document site over its own output, against Hugo
#      building the Markdown twin and cmark converting the same Markdown
#      concatenated (aims: 6x faster than Hugo, within 1.5x of cmark).
#   2. Build into an empty root, against the plain-write floor (the same
#      files written by bench/write_floor.cpp on the same disk) and Hugo into
#      an empty folder (aims: within 1.3x of the floor, 3x faster than Hugo).
#   3. System calls per new page and per unchanged page (strace -f -c), the
#      fixed cost of a build and the reading of documents taken off
#      (aims: at most 4 and at most 2).
#   4. The example site end to end (hyperfine; aim: at most 15 ms).
#   5. The 50,000-document site made by the same generator, into an empty
#      root (aims: at most 10.5x the time, 1.2x the peak memory of 5,000).
#   6. Where a rebuild's time goes (perf, the top symbols).
#
# Timed runs alternate between the tools, after one warm-up each; medians.
# Environment: FILES (5000), BIG (50000; 0 skips the scale part), SEED (11),
# RUNS (5), JOBS (2), STEPS (the steps to run, e.g. "3" or "2 5"; all by
# default; the scale step needs step 2).
set -euo pipefail
cd "$(dirname "$0")/.."
files=${FILES:-5000}
big=${BIG:-50000}
seed=${SEED:-11}
runs=${RUNS:-5}
out=bench/out/site_${files}_${seed}
scratch=bench/out/scratch
mkdir -p "$scratch"
steps=" ${STEPS:-1 2 3 4 5 6} "
step() { [[ "$steps" == *" $1 "* ]]; }

need=()
command -v hugo > /dev/null || need+=(hugo)
command -v cmark > /dev/null || need+=(cmark)
command -v strace > /dev/null || need+=(strace)
command -v hyperfine > /dev/null || need+=(hyperfine)
command -v perf > /dev/null || need+=(linux-perf)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y "${need[@]}" > /dev/null
fi

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF > /dev/null
ninja -C build/release -j"${JOBS:-2}" kavsite > /dev/null
g++ -O2 -std=c++20 bench/write_floor.cpp -o build/release/write_floor
KAVSITE=$PWD/build/release/kavsite
[ -d "$out/kav" ] || /usr/bin/python3 bench/gen_site_corpus.py --out "$out" --files "$files" --seed "$seed"

# The connection test stays on this machine.
kav=("$KAVSITE" deploy consent_url=https://127.0.0.1:1/save)
fresh() { rm -rf "$1"; mkdir -p "$1"; sync; }
# "seconds peak_kilobytes" of one run; the program's output goes to $1.
measure() {
    local log=$1
    shift
    /usr/bin/time -f "%e %M" -o "$scratch/time.txt" "$@" > "$log" 2>&1
    cat "$scratch/time.txt"
}
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
verdict() { awk -v v="$1" -v aim="$2" -v dir="$3" 'BEGIN {
    ok = (dir == "max") ? (v <= aim) : (v >= aim)
    printf "%s", ok ? "met" : "NOT met" }'; }

echo "machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -sr)"
echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "hugo: $(hugo version | cut -d' ' -f1-2); cmark $(cmark --version | head -1 | awk '{print $2}')"
echo "corpus: $(find "$out/kav" -name '*.kav' | wc -l) documents, $(cat "$out"/kav/*/*.kav | wc -c) bytes of KAV," \
     "$(cat "$out"/hugo/content/*/*.md | wc -c) bytes of Markdown"

# ---- 1. Rebuild ---------------------------------------------------------------------------
hugo_build=(hugo --quiet -s "$out/hugo" -d "$PWD/$out/hugo_public")
if step 1; then
cat "$out"/hugo/content/*/*.md > "$scratch/all.md"
measure "$scratch/kavsite.log" "${kav[@]}" "targ_p=$out/kav" "root_p=$out/root" > /dev/null
measure "$scratch/hugo.log" "${hugo_build[@]}" > /dev/null
k=(); h=(); c=()
for _ in $(seq "$runs"); do
    read -r t _ < <(measure "$scratch/kavsite.log" "${kav[@]}" "targ_p=$out/kav" "root_p=$out/root"); k+=("$t")
    read -r t _ < <(measure "$scratch/hugo.log" "${hugo_build[@]}"); h+=("$t")
    read -r t _ < <(measure "$scratch/cmark.html" cmark "$scratch/all.md"); c+=("$t")
done
pages=$(find "$out/root/html" -name '*.html' | wc -l)
kt=$(printf '%s\n' "${k[@]}" | median); ht=$(printf '%s\n' "${h[@]}" | median); ct=$(printf '%s\n' "${c[@]}" | median)
echo
echo "== 1. rebuild over existing output ($runs runs each)"
echo "kavsite: $(grep -E 'kav count|html count' "$scratch/kavsite.log" | tr -d '\t' | paste -sd, -), $pages HTML files"
echo "times: kavsite ${k[*]} s; hugo ${h[*]} s; cmark ${c[*]} s"
r1=$(awk -v a="$ht" -v b="$kt" 'BEGIN {printf "%.2f", a / b}')
r2=$(awk -v a="$kt" -v b="$ct" 'BEGIN {printf "%.2f", a / b}')
echo "kavsite ${kt} s, hugo ${ht} s, cmark ${ct} s"
echo "aim: hugo / kavsite >= 6: ${r1}x ($(verdict "$r1" 6 min))"
echo "aim: kavsite / cmark <= 1.5: ${r2}x ($(verdict "$r2" 1.5 max))"
fi

# ---- 2. Build into an empty root -----------------------------------------------------------
if step 2; then
find "$out/root" -type f -printf '%s %P\n' | grep -v '^[0-9]* \.kavsite-' > "$scratch/files.txt"
k=(); km=(); f=(); h=()
for _ in $(seq "$runs"); do
    fresh "$scratch/root"
    read -r t m < <(measure "$scratch/kavsite_cold.log" "${kav[@]}" "targ_p=$out/kav" "root_p=$scratch/root"); k+=("$t"); km+=("$m")
    rm -rf "$scratch/floor"; sync
    read -r t _ < <(measure "$scratch/floor.log" build/release/write_floor "$scratch/files.txt" "$scratch/floor"); f+=("$t")
    rm -rf "$out/hugo_public"; sync
    read -r t _ < <(measure "$scratch/hugo.log" "${hugo_build[@]}"); h+=("$t")
done
kt_cold=$(printf '%s\n' "${k[@]}" | median); km_cold=$(printf '%s\n' "${km[@]}" | median)
ft=$(printf '%s\n' "${f[@]}" | median); ht=$(printf '%s\n' "${h[@]}" | median)
echo
echo "== 2. build into an empty root ($runs runs each)"
echo "floor: $(cat "$scratch/floor.log")"
echo "times: kavsite ${k[*]} s; floor ${f[*]} s; hugo ${h[*]} s"
echo "kavsite ${kt_cold} s (peak $((km_cold / 1024)) MB), floor ${ft} s, hugo ${ht} s"
r1=$(awk -v a="$kt_cold" -v b="$ft" 'BEGIN {printf "%.2f", a / b}')
r2=$(awk -v a="$ht" -v b="$kt_cold" 'BEGIN {printf "%.2f", a / b}')
echo "aim: kavsite / floor <= 1.3: ${r1}x ($(verdict "$r1" 1.3 max))"
echo "aim: hugo / kavsite >= 3: ${r2}x ($(verdict "$r2" 3 min))"
fi

# ---- 3. System calls -------------------------------------------------------------------------
if step 3; then
# A build's fixed cost: no document, an empty root (shared resources, home
# page, start and end). Reading documents: every `read` and `pread64`, and
# an open, a status and a close per document. What is left is the pages'
# part: writing them, and handing them between threads.
# Page writes and stats may go through the kernel's submission ring: those
# operations are not system calls of the process, so they are counted apart,
# from what each io_uring_enter returned (the entries it took).
count_calls() { strace -f -C -o "$scratch/strace_all.txt" "$@" > /dev/null 2>&1 || true
    awk '/^% time/ {on = 1} on' "$scratch/strace_all.txt" > "$scratch/strace.txt"
    awk '$NF == "total" {print $(NF-2); exit}' "$scratch/strace.txt"; }
ring_ops() { awk '/io_uring_enter/ && $(NF-1) == "=" && $NF ~ /^[0-9]+$/ {n += $NF} END {print n + 0}' \
    "$scratch/strace_all.txt"; }
reads() { awk '$NF == "read" || $NF == "pread64" {n += $4} END {print n + 0}' "$scratch/strace.txt"; }
mkdir -p "$scratch/nodocs"
fresh "$scratch/root"
fixed=$(count_calls "${kav[@]}" "targ_p=$scratch/nodocs" "root_p=$scratch/root")
fresh "$scratch/root"
cold=$(count_calls "${kav[@]}" "targ_p=$out/kav" "root_p=$scratch/root")
cold_reads=$(reads); cold_ring=$(ring_ops); cp "$scratch/strace.txt" "$scratch/strace_cold.txt"
warm=$(count_calls "${kav[@]}" "targ_p=$out/kav" "root_p=$scratch/root")
warm_reads=$(reads); warm_ring=$(ring_ops); cp "$scratch/strace.txt" "$scratch/strace_warm.txt"
docs=$(find "$out/kav" -name '*.kav' | wc -l)
written=$((docs * 2))
echo
echo "== 3. system calls (strace -f -c)"
echo "fixed cost (no document): $fixed; $docs documents, $written pages and raw views"
echo "into an empty root: $cold calls ($cold_reads reads); top: $(sort -k4 -n -r "$scratch/strace_cold.txt" | awk 'NF >= 5 && $NF != "total" && $4 ~ /^[0-9]+$/ {printf "%s %s, ", $NF, $4}' | head -c 200)"
echo "rebuild: $warm calls ($warm_reads reads); top: $(sort -k4 -n -r "$scratch/strace_warm.txt" | awk 'NF >= 5 && $NF != "total" && $4 ~ /^[0-9]+$/ {printf "%s %s, ", $NF, $4}' | head -c 200)"
per_new=$(awk -v t="$cold" -v f="$fixed" -v r="$cold_reads" -v d="$docs" -v w="$written" 'BEGIN {printf "%.2f", (t - f - r - 3 * d) / w}')
per_old=$(awk -v t="$warm" -v f="$fixed" -v r="$warm_reads" -v d="$docs" -v w="$written" 'BEGIN {printf "%.2f", (t - f - r - 3 * d) / w}')
echo "kernel ring operations per page or raw view (not system calls): new $(awk -v n="$cold_ring" -v w="$written" \
    'BEGIN {printf "%.2f", n / w}'), unchanged $(awk -v n="$warm_ring" -v w="$written" 'BEGIN {printf "%.2f", n / w}')"
echo "aim: calls per new page <= 4: $per_new ($(verdict "$per_new" 4 max))"
echo "aim: calls per unchanged page <= 2: $per_old ($(verdict "$per_old" 2 max))"
fi

# ---- 4. The example site ---------------------------------------------------------------------
if step 4; then
rm -rf "$scratch/example"; cp -r examples/site "$scratch/example"
"$KAVSITE" "targ_p=$scratch/example/documents" "root_p=$scratch/example" > /dev/null
hyperfine -N --warmup 5 --runs 50 --export-json "$scratch/example.json" \
    "$KAVSITE targ_p=$scratch/example/documents root_p=$scratch/example" > /dev/null
ems=$(/usr/bin/python3 -c "import json,statistics; r=json.load(open('$scratch/example.json'))['results'][0]; print('%.1f %.1f %.1f' % (statistics.median(r['times'])*1000, r['user']*1000, r['system']*1000))")
read -r emed euser esys <<< "$ems"
echo
echo "== 4. the example site end to end (hyperfine, 50 runs)"
echo "median ${emed} ms (user ${euser} ms, system ${esys} ms per run)"
echo "aim: at most 15 ms: ${emed} ms ($(verdict "$emed" 15 max))"
fi

# ---- 5. Scale -------------------------------------------------------------------------------------
if step 5; then
if [ "$big" -gt 0 ] && [ -n "${kt_cold:-}" ]; then
    bigout=bench/out/site_${big}_${seed}
    [ -d "$bigout/kav" ] || /usr/bin/python3 bench/gen_site_corpus.py --out "$bigout" --files "$big" --seed "$seed"
    b=(); bm=()
    for _ in 1 2; do
        fresh "$scratch/bigroot"
        read -r t m < <(measure "$scratch/big.log" "${kav[@]}" "targ_p=$bigout/kav" "root_p=$scratch/bigroot"); b+=("$t"); bm+=("$m")
    done
    bt=$(printf '%s\n' "${b[@]}" | sort -g | head -1); bmm=$(printf '%s\n' "${bm[@]}" | sort -g | tail -1)
    echo
    echo "== 5. scale: $(find "$bigout/kav" -name '*.kav' | wc -l) documents into an empty root (2 runs)"
    echo "kavsite: $(grep -E 'kav count|html count' "$scratch/big.log" | tr -d '\t' | paste -sd, -); times ${b[*]} s"
    r1=$(awk -v a="$bt" -v b="$kt_cold" 'BEGIN {printf "%.2f", a / b}')
    r2=$(awk -v a="$bmm" -v b="$km_cold" 'BEGIN {printf "%.2f", a / b}')
    echo "time ${bt} s against ${kt_cold} s; peak $((bmm / 1024)) MB against $((km_cold / 1024)) MB"
    echo "aim: time at most 10.5x: ${r1}x ($(verdict "$r1" 10.5 max))"
    echo "aim: peak memory at most 1.2x: ${r2}x ($(verdict "$r2" 1.2 max))"
    rm -rf "$scratch/bigroot"
fi
fi

# ---- 6. Profile of a rebuild ----------------------------------------------------------------
if step 6; then
perf record -q -F 1999 -g -o "$scratch/perf.data" -- "$KAVSITE" "targ_p=$out/kav" "root_p=$out/root" deploy \
    consent_url=https://127.0.0.1:1/save > /dev/null 2>&1 || true
echo
echo "== 6. where a rebuild's time goes (perf, self time, top 15)"
perf report -i "$scratch/perf.data" --stdio --no-children --sort comm,sym 2> /dev/null |
    grep -E '^ +[0-9]+\.[0-9]+%' | head -15
fi
