#!/usr/bin/env bash
# A new user's first start from the build tree, which is an installation in the package's shape:
# with an empty data home, plugshift-cli and plugshift each find no setup file, copy
# <build>/skel/data/setup.dat into the user's data folder and carry on from it.
# Usage: first_start.sh BUILD_DIR
set -euo pipefail
readonly build=$1
# Start-up under the sanitizers is slow; this only bounds a hang.
readonly APP_WAIT_TENTHS=600

work=$(mktemp -d)
app_pid=
cleanup() {
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    printf 'first-start: FAIL: %s\n' "$*" >&2
    exit 1
}

export XDG_DATA_HOME=$work/share
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The installation id that installing the package puts in /etc/xdg.
export XDG_CONFIG_DIRS=$build/sample-home/config
readonly data="$XDG_DATA_HOME/Kestrelon/KMV Plugshift PERU"
readonly skeleton=$build/skel/data/setup.dat
cli=$build/bin/plugshift-cli

echo "== plugshift-cli convert --simulate, as a new user"
"$cli" convert --simulate --yes >"$work/convert.txt" 2>&1 || {
    cat "$work/convert.txt"
    fail "the conversion failed"
}
grep -q '^Convert successful\.$' "$work/convert.txt" || fail "the conversion said no success"
cmp "$skeleton" "$data/data/setup.dat" || fail "plugshift-cli did not copy $skeleton"

echo "== plugshift --simulate, as a new user"
rm -rf "$XDG_DATA_HOME"
QT_QPA_PLATFORM=offscreen "$build/bin/plugshift" --simulate >"$work/app.txt" 2>&1 &
app_pid=$!
# Start-up writes the installation id into the setup file it has loaded; the splash screen and
# the main window come next, and the test ends there.
started=
for _ in $(seq "$APP_WAIT_TENTHS"); do
    if [ -f "$data/data/setup.dat" ] &&
        "$cli" config decode "$data/data/setup.dat" | grep -q '<reg id="KMV-PERU-SAMPLE-0001"'; then
        started=yes
        break
    fi
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$started" ] || {
    cat "$work/app.txt"
    fail "plugshift did not start from the copied setup file"
}
echo "first-start: OK"
