#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, skipping what is already there.
set -euo pipefail

packages=(
    cmake make g++ clang libclang-rt-14-dev pkg-config python3 python3-pil
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64 fonts-wine xvfb xauth
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libsndfile1-dev libebur128-dev
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
