#!/usr/bin/env bash
# Builds kavsite, then makes the pictures of the KAV guide (docs/img/guide-*.png)
# from the guide's own examples with headless Chromium (scripts/guide_pictures.py).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVSITE_TESTS=OFF >/dev/null
cmake --build build/release --target kavsite

/usr/bin/python3 scripts/guide_pictures.py --kavsite build/release/kavsite "$@"
