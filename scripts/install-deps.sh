#!/usr/bin/env bash
# Installs the Debian packages that building and testing kavsite need, when
# they are missing. Safe to run again: it installs nothing that is present.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libcurl4-openssl-dev libxxhash-dev
          googletest libgtest-dev openssl ca-certificates)
# The preview server (serve) is built on libmicrohttpd, found with pkg-config.
packages+=(pkg-config libmicrohttpd-dev)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
command -v python3 >/dev/null 2>&1 || missing+=(python3)

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  if ! $sudo apt-get install -y --no-install-recommends "${missing[@]}"; then
    $sudo apt-get update
    $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
fi
