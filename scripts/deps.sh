#!/usr/bin/env bash
# Installs the Debian packages RM7 Utility builds and tests with, when any is missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libcli11-dev nlohmann-json3-dev libcurl4-openssl-dev
          googletest libgmock-dev libgtest-dev libbenchmark-dev zlib1g-dev srecord binutils python3-pyftpdlib ser2net
          clang-format xvfb xauth libgl-dev help2man)
# The Windows stage's cross compiler and Wine, only when asked for: the Linux build needs none of them.
if [ "${1:-}" = "--windows" ]; then
    packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 googletest libcli11-dev nlohmann-json3-dev
              python3)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
