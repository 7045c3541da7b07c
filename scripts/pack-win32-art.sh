#!/usr/bin/env bash
# Packs the application's PNG art (src/app/resources) into the icon and bitmap files the Windows
# resource script includes (src/win32/art; they are committed). Needs netpbm.
set -euo pipefail
cd "$(dirname "$0")/.."
from=src/app/resources
to=src/win32/art
mkdir -p "$to"

# Little-endian fields of the icon directory.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }

# An .ico whose images are the PNG files themselves, which Windows reads since Vista.
pack_icon() {
    local out=$1
    shift
    local count=$# offset=$((6 + 16 * $#)) png side size
    {
        le16 0
        le16 1
        le16 "$count"
        for png in "$@"; do
            # The PNG header holds the width big-endian at byte 16.
            side=$(od -An -tu1 -j18 -N2 "$png" | awk '{print $1 * 256 + $2}')
            size=$(stat -c %s "$png")
            # A side of 256 is written as 0.
            printf "\\x$(printf %02x $((side & 255)))\\x$(printf %02x $((side & 255)))"
            printf '\x00\x00'
            le16 1
            le16 32
            le32 "$size"
            le32 "$offset"
            offset=$((offset + size))
        done
        cat "$@"
    } >"$out"
}

pack_icon "$to/icon128.ico" "$from"/icon128_{16,32,48,256}.png
pack_icon "$to/icon147.ico" "$from"/icon147_{16,32,48}.png
for id in 133 215; do
    pngtopnm "$from/bitmap$id.png" | ppmtobmp -bpp 24 >"$to/bitmap$id.bmp" 2>/dev/null
done
