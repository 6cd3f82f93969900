#!/usr/bin/env bash
# Builds kavsite (Release) and builds the bundled example site with it in
# build/example-site (a fresh copy of examples/site at every run), then prints
# the page to open in a browser.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF
cmake --build build/release --target kavsite

site="$PWD/build/example-site"
rm -rf "$site"
mkdir -p "$site"
cp -R examples/site/. "$site/"
echo "== building the example site in $site =="
status=0
build/release/kavsite targ_p="$site/documents" root_p="$site/" || status=$?
echo
if [ -f "$site/html/index.html" ]; then
  echo "Open file://$site/html/index.html in a browser."
else
  echo "The example site was built into $site (no index page was written)."
fi
exit $status
