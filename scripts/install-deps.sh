#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need; does nothing when all are there.
# With --windows: what the Windows cross build and its checks need instead (MinGW-w64, Wine,
# NSIS, Xvfb and the X tools that drive and picture the window, and pugixml's Debian source
# package, unpacked in build/deps, as no Debian package has it built for Windows).
set -euo pipefail
cd "$(dirname "$0")/.."

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-dejavu-core libcli11-dev libpugixml-dev qt6-base-dev
    clang-14 libclang-rt-14-dev srecord
    appstream desktop-file-utils dpkg-dev file help2man
)
if [ "${1:-}" = --windows ]; then
    packages=(
        cmake ninja-build dpkg-dev g++-mingw-w64-x86-64-posix wine wine64 nsis
        googletest libcli11-dev
        # The window under Wine: a display, keys, and its pictures as PNG.
        xvfb xdotool x11-apps netpbm bc
    )
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${as_root[@]}" apt-get update -q
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
[ "${1:-}" = --windows ] || exit 0

# pugixml for the cross build: its source as Debian ships it.
pugixml_dir=build/deps/pugixml
[ -f "$pugixml_dir/src/pugixml.cpp" ] && exit 0
if ! apt-get source --print-uris pugixml >/dev/null 2>&1; then
    # Source lines for the archives this machine already uses.
    {
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" && echo
        done
    } | "${as_root[@]}" tee /etc/apt/sources.list.d/plugshift-deb-src.sources >/dev/null
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
            "${as_root[@]}" tee /etc/apt/sources.list.d/plugshift-deb-src.list >/dev/null
    fi
    "${as_root[@]}" apt-get update -q
fi
rm -rf build/deps/pugixml-src && mkdir -p build/deps/pugixml-src
(cd build/deps/pugixml-src && apt-get source -q pugixml)
rm -rf "$pugixml_dir"
mv "$(find build/deps/pugixml-src -mindepth 1 -maxdepth 1 -type d -name 'pugixml-*')" "$pugixml_dir"
rm -rf build/deps/pugixml-src
