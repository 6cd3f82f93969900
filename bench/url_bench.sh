#!/usr/bin/env bash
# URL check benchmark: 500 distinct URLs served by a local HTTPS server that
# answers each after 50 ms, checked with the default worker count (16) and
# with 1 worker (the earlier default, processors - 1, on a 2-processor
# machine). Prints every run and the median per configuration, against the
# bound 500 x 50 ms / workers.
#
# usage: bench/url_bench.sh [runs]   (default 3 runs per configuration)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
count=500
delay=50

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF >/dev/null
ninja -C build/release kavsite_urlcheck kavsite_base >/dev/null
mkdir -p bench/out
c++ -std=c++20 -O2 -Isrc bench/url_bench.cpp build/release/libkavsite_urlcheck.a build/release/libkavsite_base.a \
    -lcurl -lpthread -o bench/out/url_bench

work=$(mktemp -d /tmp/kavsite-urlbench-XXXXXX)
server_pid=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  [ -n "$server_pid" ] && wait "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' > "$work/ext.cnf"
(cd "$work" &&
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem -days 2 \
    -subj '/CN=kavsite throw-away bench CA' >/dev/null 2>&1 &&
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key -out server.csr \
    -subj '/CN=localhost' >/dev/null 2>&1 &&
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 \
    -extfile ext.cnf >/dev/null 2>&1)

# The server ends when its standard input (fd 3 here) closes.
mkfifo "$work/in"
python3 tests/urlcheck/https_server.py --cert "$work/server.pem" --key "$work/server.key" <"$work/in" >"$work/ports" &
server_pid=$!
exec 3>"$work/in"
for _ in $(seq 50); do [ -s "$work/ports" ] && break; sleep 0.1; done
port=$(sed 's/.*tls=\([0-9]*\).*/\1/' "$work/ports")
base="https://127.0.0.1:$port"

echo "machine: $(nproc) logical processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
for workers in 0 1; do
  label=$([ "$workers" = 0 ] && echo "default" || echo "$workers")
  walls=()
  for run in $(seq "$runs"); do
    line=$(bench/out/url_bench "$work/ca.pem" "$base" "$delay" "$count" "$workers" | head -1)
    echo "workers=$label run $run: $line"
    walls+=("$(echo "$line" | sed 's/.*wall_ms=\([0-9.]*\).*/\1/')")
  done
  median=$(printf '%s\n' "${walls[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  echo "workers=$label median wall_ms=$median"
done
