#!/usr/bin/env bash
# Installs the Debian packages that building and testing kavsite need, when
# they are missing. Safe to run again: it installs nothing that is present.
set -euo pipefail

# libmicrohttpd-dev (found with pkg-config): the preview server of serve.
# python3-html5lib: the tests read every generated page with an HTML5 parser
# (tests/support/html5_check.py, run with /usr/bin/python3).
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libcurl4-openssl-dev libxxhash-dev
          googletest libgtest-dev openssl ca-certificates
          fonts-font-awesome fonts-firacode fonts-inter python3-fonttools python3-brotli python3-websockets python3-html5lib
          pkg-config libmicrohttpd-dev)
# The browser test runs every page in Chromium; without it that test is skipped.
optional=(chromium)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
command -v python3 >/dev/null 2>&1 || missing+=(python3)
[ -x /usr/bin/python3 ] || missing+=(python3)

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  # Another package manager at work (an unattended upgrade, a second
  # script) holds the lock for a while: wait for it instead of failing.
  apt_get=($sudo apt-get -o DPkg::Lock::Timeout=600)
  if ! "${apt_get[@]}" install -y --no-install-recommends "${missing[@]}"; then
    "${apt_get[@]}" update
    "${apt_get[@]}" install -y --no-install-recommends "${missing[@]}"
  fi
fi

optional_missing=()
for package in "${optional[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    optional_missing+=("$package")
  fi
done
if [ ${#optional_missing[@]} -gt 0 ]; then
  echo "installing: ${optional_missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  if ! $sudo apt-get install -y --no-install-recommends "${optional_missing[@]}"; then
    $sudo apt-get update || true
    $sudo apt-get install -y --no-install-recommends "${optional_missing[@]}" ||
      echo "could not install ${optional_missing[*]}: the browser test will be skipped"
  fi
fi
