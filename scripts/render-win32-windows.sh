#!/usr/bin/env bash
# Photographs every window of plugshift.exe under Wine into PNG files, to be looked at:
#   scripts/render-win32-windows.sh [BUILD_DIR [OUT_DIR]]
# BUILD_DIR is a Windows build with its sample installation and win32_render_windows
# (default build/windows-test); OUT_DIR defaults to BUILD_DIR/win32-renders. Runs each window in
# a Wine desktop (which draws the frames) on the X display of $DISPLAY, or on an Xvfb of its own.
# Needs wine, xvfb and netpbm.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/windows-test}")
out=$(realpath -m "${2:-$build/win32-renders}")
mkdir -p "$out"
export WINEPREFIX=${WINEPREFIX:-$PWD/build/wine} WINEDEBUG=-all

xvfb_pid=
cleanup() { [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid $!")
    read -r _ xvfb_pid <&3
    read -r display <&3
    export DISPLAY=":$display"
fi

windows=(splash main-start main about login login-wrong question error wait)
sample=$(winepath -w "$build")
failed=0
for window in "${windows[@]}"; do
    bmp="$out/$window.bmp"
    rm -f "$bmp"
    if timeout 120 wine explorer /desktop=plugshift-render,1200x900 \
        "$build/bin/win32_render_windows.exe" "$window" "$(winepath -w "$bmp")" "$sample" &&
        [ -s "$bmp" ]; then
        bmptopnm "$bmp" 2>/dev/null | pnmtopng >"$out/$window.png"
        rm -f "$bmp"
        echo "$out/$window.png"
    else
        echo "could not photograph $window" >&2
        failed=1
    fi
done
exit "$failed"
