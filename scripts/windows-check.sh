#!/usr/bin/env bash
# The Windows build checked under Wine: installs what it needs, cross-builds the windows-test
# preset (the core's suites, plugshift-cli.exe and the installer), runs the suites, converts a
# kmv-sim radio over a COM port mapped to its pseudo-terminal at line rate and compares the radio
# with the same conversion by the Linux build, then installs and uninstalls the installer
# silently. Prints one line per step; exits non-zero at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh
scripts/install-deps.sh --windows
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
export WINEPREFIX=$root/build/wine WINEDEBUG=-all WINEARCH=win64
command -v ccache >/dev/null || unset CMAKE_CXX_COMPILER_LAUNCHER

step() { printf '== %s\n' "$*"; }

step "Wine prefix $WINEPREFIX"
# One Wine session for every run below, ended at exit. Its background programs start here, away
# from the pipes of the build and of the commands below, which they would otherwise hold open.
mkdir -p "$WINEPREFIX"
wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot -i </dev/null >/dev/null 2>&1

step "Windows build (windows-test preset)"
cmake --preset windows-test >/dev/null
cmake --build --preset windows-test -j2
step "Core suites under Wine"
ctest --preset windows-test -j2

step "Linux kmv-sim and plugshift-cli (release preset), for the reference conversion"
cmake --preset release -DPLUGSHIFT_TESTS=OFF >/dev/null
cmake --build --preset release --target kmv-sim plugshift-cli sample_installation -j2

win_build=$root/build/windows-test
linux_build=$root/build/release
work=$(mktemp -d "${TMPDIR:-/tmp}/windows-check.XXXXXX")
sim_pids=()
cleanup() {
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
    wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

# A data folder with the sample's setup file.
data_folder() {
    mkdir -p "$1/data"
    cp "$linux_build/sample-home/data/Kestrelon/KMV Plugshift PERU/data/setup.dat" "$1/data/"
}

# kmv-sim on a fresh radio kept in $1, its terminal also at $2, with further options; waits for
# the link.
start_sim() {
    rm -f "$2"
    "$linux_build/bin/kmv-sim" --state "$1" --link "$2" "${@:3}" >"$1.out" 2>&1 &
    sim_pids+=("$!")
    for _ in $(seq 50); do [ -L "$2" ] && return 0; sleep 0.1; done
    echo "kmv-sim did not start:"; cat "$1.out"; return 1
}

# Stops the newest kmv-sim, which saves its radio.
stop_sim() {
    local pid=${sim_pids[-1]}
    kill -INT "$pid" && wait "$pid" || true
    unset 'sim_pids[-1]'
}

# One block of a saved radio.
block() { sed -n "/^block $2 /,/^end/p" "$1"; }

step "End to end: plugshift-cli.exe over COM5 to a paced kmv-sim"
data_folder "$work/win-data"
com5=$WINEPREFIX/dosdevices/com5
# --pacing: the radio's replies take their line time, as on a real cable.
start_sim "$work/win.state" "$com5" --pacing
kill -USR1 "${sim_pids[-1]}"; sleep 0.5
cp "$work/win.state" "$work/before.state"
cli=(wine "$win_build/bin/plugshift-cli.exe")
"${cli[@]}" info --port COM5 --data-dir "$work/win-data" | tee "$work/info-before.txt"
start=$(date +%s.%N)
"${cli[@]}" convert --yes --keep-personality --port COM5 --data-dir "$work/win-data" \
    2>"$work/convert.err" | tee "$work/convert.txt"
printf 'conversion took %.1f s\n' "$(echo "$(date +%s.%N) - $start" | bc)"
stop_sim

# The radio's content does not depend on the line's pace.
step "Reference: the Linux plugshift-cli converts another fresh radio"
data_folder "$work/linux-data"
start_sim "$work/linux.state" "$work/linux-pty"
"$linux_build/bin/plugshift-cli" convert --yes --keep-personality --port "$work/linux-pty" \
    --data-dir "$work/linux-data" >/dev/null 2>&1
stop_sim

step "The radio after the conversion"
grep -q 'Model: *RQX770HJNWE' "$work/convert.txt"
head -1 "$work/win.state"
for name in DEF DYN; do
    cmp -s <(block "$work/win.state" $name) <(block "$work/linux.state" $name) ||
        { echo "$name differs from the Linux tool's conversion"; exit 1; }
    echo "$name as the Linux tool leaves it"
done
cmp -s <(grep -v '^#' "$work/win.state") <(grep -v '^#' "$work/linux.state") ||
    { echo "the radio differs from the Linux tool's conversion"; exit 1; }
echo "every block as the Linux tool leaves it"
contacts() { head -1 "$1" | grep -o '[0-9]* contacts'; }
[ "$(contacts "$work/win.state")" = "$(contacts "$work/before.state")" ]
echo "contacts kept: $(contacts "$work/win.state")"

step "Installer: silent install and uninstall under Wine"
packaging/windows/installer-check.sh "$win_build"
step "Windows check passed"
