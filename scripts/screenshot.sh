#!/usr/bin/env bash
# Builds kavsite and the example site in a scratch folder, then has headless
# Chromium take a screenshot of one of its pages for the README:
# docs/img/example-page.png (or the path given as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
out=${1:-docs/img/example-page.png}

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF >/dev/null
cmake --build build/release --target kavsite

work=$(mktemp -d "${TMPDIR:-/tmp}/kavsite-screenshot.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/site"
cp -R examples/site/. "$work/site/"
# The connection test goes to a port that refuses: nothing leaves the machine.
build/release/kavsite consent_url=https://127.0.0.1:1/save targ_p="$work/site/documents" root_p="$work/site/" >/dev/null

mkdir -p "$(dirname "$out")"
# The virtual time budget lets the page load its fonts before the picture.
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --hide-scrollbars --user-data-dir="$work/profile" \
  --window-size=1280,1200 --virtual-time-budget=5000 --screenshot="$(realpath -m "$out")" \
  "file://$work/site/html/notes/lists-and-tables.html" 2>/dev/null
echo "wrote $out"
