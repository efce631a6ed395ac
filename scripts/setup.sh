#!/usr/bin/env bash
# Installs what the build, the tests and the demo need, only where something is missing.
set -euo pipefail

packages=(
    cmake g++ make ccache pkg-config
    mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
    wine64 xvfb xauth x11-apps x11-utils imagemagick fonts-wine fonts-liberation
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libssl-dev libcurl4-openssl-dev openssl nlohmann-json3-dev
    libwine-dev
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
