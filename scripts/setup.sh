#!/usr/bin/env bash
# Installs what the build, the tests and the demo need, only where something is missing.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
# The Debian packages the project uses, installed with --no-install-recommends. scripts/check-setup.sh fails
# when the build or the scripts use a file of a package that is neither here nor brought in by one of these,
# so a package installed by hand cannot hide a missing line.
packages=(
    # Host build
    cmake g++ make ccache pkg-config libssl-dev libcurl4-openssl-dev nlohmann-json3-dev libminizip-dev zlib1g-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    # Windows build: the cross compiler, widl for Corvane's IDL, Wine's IDL files and stdole2.tlb
    mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev mingw-w64-tools libwine-dev
    # Windows tests, the demo and the gallery: Wine, a virtual screen, pictures and fonts
    wine64 xvfb xauth x11-apps x11-utils imagemagick librsvg2-bin fonts-wine fonts-liberation
    # Stand-ins, certificates and scripts; readers the diagnosis bundle is checked with
    openssl curl unzip python3-minimal
    # The unreachable-ping test's private network namespace (unshare, ip)
    util-linux iproute2
    # Fuzzing and sanitizers; instruction counts of the benchmarks
    clang libclang-rt-14-dev valgrind
)
# Another list, one package a line, through VELORA_PACKAGES_FILE (the set-up check's own test uses it).
if [ -n "${VELORA_PACKAGES_FILE:-}" ]; then
    mapfile -t packages < <(sed -E 's/#.*//; s/[[:space:]]+//g; /^$/d' "$VELORA_PACKAGES_FILE")
fi
# --list: only print the list, one package a line.
if [ "${1:-}" = "--list" ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    mkdir -p "$ROOT/build"
    apt_log="$ROOT/build/setup-apt.log"
    sources_ok=1
    apt-get update -qq >"$apt_log" 2>&1 || sources_ok=0
    if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >>"$apt_log" 2>&1; then
        # One at a time, so that the one line below names the package that cannot be had.
        for p in "${missing[@]}"; do
            installed "$p" && continue
            apt-get install -y -qq --no-install-recommends "$p" >>"$apt_log" 2>&1 && continue
            if ! apt-cache show "$p" >/dev/null 2>&1; then
                why="apt knows no package of that name"
            elif [ "$sources_ok" -eq 0 ]; then
                why="the package sources could not be reached"
            else
                why="apt-get install failed"
            fi
            echo "setup: cannot install the package $p: $why (apt's output: ${apt_log#"$ROOT"/})" >&2
            exit 1
        done
    fi
    for p in "${missing[@]}"; do
        installed "$p" || { echo "setup: the package $p is still not installed (apt's output: ${apt_log#"$ROOT"/})" >&2; exit 1; }
    done
fi

# Third-party sources that the Windows build compiles too come from Debian source packages, fetched once
# into third_party/ (ignored by git). The deb-src list is derived from this system's own apt sources and
# kept in a private apt folder, so the system's apt configuration is left alone.
fetch_source_package() {
    local package=$1 dest=$2 inner=$3
    [ -d "$dest" ] && return 0
    local apt_dir="$ROOT/build/apt-src"
    mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/download"
    : >"$apt_dir/empty.list"
    rm -f "$apt_dir/parts/"*
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$f" >"$apt_dir/parts/$(basename "$f")"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        grep -E '^[[:space:]]*deb[[:space:]]' "$f" | sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' \
            >"$apt_dir/parts/$(basename "$f").list" || true
    done
    local options=(-o "Dir::Etc::sourcelist=$apt_dir/empty.list" -o "Dir::Etc::sourceparts=$apt_dir/parts"
                   -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
                   -o "APT::Sandbox::User=root")
    apt-get -qq "${options[@]}" update >/dev/null 2>&1 || true
    # Only the upstream tarball is needed; a missing Debian patch tarball does not matter here.
    (cd "$apt_dir/download" && apt-get -qq "${options[@]}" source --download-only "$package" >/dev/null 2>&1) || true
    local tarball
    tarball=$(ls "$apt_dir/download/${package}_"*.orig.tar.* 2>/dev/null | head -n 1)
    if [ -z "$tarball" ]; then
        echo "setup: could not fetch the source package $package" >&2
        return 1
    fi
    # The checksum listed in the signed source index (through the .dsc) must match.
    local dsc expected
    dsc=$(ls "$apt_dir/download/${package}_"*.dsc | head -n 1)
    expected=$(awk '/^Checksums-Sha256:/{s=1;next} /^[^ ]/{s=0} s && $3=="'"$(basename "$tarball")"'"{print $1}' "$dsc")
    if [ -z "$expected" ] || [ "$(sha256sum "$tarball" | cut -d' ' -f1)" != "$expected" ]; then
        echo "setup: checksum mismatch for $tarball" >&2
        return 1
    fi
    local unpack="$apt_dir/unpack-$package"
    rm -rf "$unpack" && mkdir -p "$unpack"
    tar -xf "$tarball" -C "$unpack"
    local top
    top=$(ls "$unpack" | head -n 1)
    mkdir -p "$(dirname "$dest")"
    cp -r "$unpack/$top/$inner" "$dest"
    rm -rf "$unpack"
    echo "setup: fetched $package into ${dest#"$ROOT"/}"
}
# qrcodegen (the C library): the QR symbol of the one-time-password binding page.
fetch_source_package qr-code-generator "$ROOT/third_party/qrcodegen" c
# minizip (the ZIP writer over zlib): the diagnosis bundle on Windows, from the source of the host's
# libminizip-dev; zlib itself is libz-mingw-w64-dev there.
fetch_source_package minizip "$ROOT/third_party/minizip" .
