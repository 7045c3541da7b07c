#!/usr/bin/env bash
# Our MD5 beside md5sum and our S-record parsing beside srec_cat (converting the same file to
# binary), on the same files, best of five runs each; prints the time ratios (ours / theirs,
# below 1 is faster).
# Usage: bench/compare-tools.sh [path of formats_file_speed, default build/bench/bin/...]
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
ours=${1:-build/bench/bin/formats_file_speed}
[ -x "$ours" ] || { echo "build $ours first (see bench/CMakeLists.txt)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Best wall time of five runs, in seconds.
best_of_five() {
    local best=""
    for _ in 1 2 3 4 5; do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1  # srec_cat warns about the missing start address
        end=$(date +%s%N)
        local took=$((end - start))
        if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
    done
    awk -v ns="$best" 'BEGIN { printf "%.4f", ns / 1e9 }'
}

report() {  # name, ours, theirs, bytes
    awk -v name="$1" -v a="$2" -v b="$3" -v bytes="$4" 'BEGIN {
        printf "%-28s ours %.4f s (%6.0f MB/s)  theirs %.4f s (%6.0f MB/s)  ratio %.2f\n",
               name, a, bytes / a / 1e6, b, bytes / b / 1e6, a / b }'
}

md5_file=$work/random.bin
head -c $((256 * 1024 * 1024)) /dev/urandom >"$md5_file"
[ "$("$ours" md5 "$md5_file" | cut -d' ' -f1)" = "$(md5sum "$md5_file" | cut -d' ' -f1)" ] ||
    { echo "digests differ" >&2; exit 1; }
cat "$md5_file" >/dev/null  # both runs start from the page cache
report "MD5 of 256 MiB" "$(best_of_five "$ours" md5 "$md5_file")" \
    "$(best_of_five md5sum "$md5_file")" $((256 * 1024 * 1024))

srec_file=$work/codeplug.srec
head -c $((16 * 1024 * 1024)) /dev/urandom >"$work/codeplug.bin"
srec_cat "$work/codeplug.bin" -binary -offset 0x820000 -o "$srec_file" -motorola -address-length=4
report "S-records of 16 MiB data" "$(best_of_five "$ours" srec "$srec_file")" \
    "$(best_of_five srec_cat "$srec_file" -motorola -o "$work/out.bin" -binary)" \
    "$(stat -c %s "$srec_file")"
