#!/usr/bin/env bash
# The Windows build checked under Wine on an Xvfb display: installs what it needs, cross-builds
# the windows-test preset once (the suites, plugshift-cli.exe, the window plugshift.exe, the test
# station and the installer), runs the suites, converts a kmv-sim radio over a COM port mapped to
# its pseudo-terminal at line rate and compares the radio with the same conversion by the Linux
# build, converts another such radio through FTDI's library (the stand-in ftd2xx.dll in Wine's
# system folder, whose writes return into an 8 KiB transmit queue) and compares it too, and asks
# `cables` and `doctor` about that cable. Converts, lists and restores once more with the
# installation and the data folder under non-ASCII names, and starts the window from there. Then
# installs silently, starts the installed window against another paced kmv-sim radio on COM5
# (found by the window's own cable poll: the port is registered in Wine's device list with the
# cable's USB description), lets the test station convert it through the console messages,
# compares that radio too, tries Enter, Esc and Alt+F4 on the window, renders every window it saw
# to PNG (the folder is printed), and uninstalls. Prints one line per step; exits non-zero at the
# first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh
scripts/install-deps.sh --windows
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
export WINEPREFIX=$root/build/wine WINEDEBUG=-all WINEARCH=win64
command -v ccache >/dev/null || unset CMAKE_CXX_COMPILER_LAUNCHER

step() { printf '== %s\n' "$*"; }

# One X display for the whole Wine session: Wine draws every window of the session on the
# display it started with, the window tests' and the tool's alike.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$display_file")
rm -f "$display_file"
step "Xvfb display $DISPLAY"

step "Wine prefix $WINEPREFIX"
# One Wine session for every run below, ended at exit. Its background programs start here, away
# from the pipes of the build and of the commands below, which they would otherwise hold open.
mkdir -p "$WINEPREFIX"
wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true; kill "$xvfb_pid" 2>/dev/null || true' EXIT
wineboot -i </dev/null >/dev/null 2>&1

step "Windows build (windows-test preset)"
cmake --preset windows-test >/dev/null
cmake --build --preset windows-test -j2
step "Core suites under Wine"
ctest --preset windows-test -j2

# The package check's release build (CI has just made it): one Linux release build, not two.
step "Linux kmv-sim and plugshift-cli (the package's release build), for the reference conversion"
linux_build=$root/build/package
cmake --preset release -B "$linux_build" -DPLUGSHIFT_TESTS=OFF >/dev/null
cmake --build "$linux_build" --target kmv-sim plugshift-cli sample_installation -j2

win_build=$root/build/windows-test
work=$(mktemp -d "${TMPDIR:-/tmp}/windows-check.XXXXXX")
# Where the program looks for FTDI's library, and only there.
system_library=$WINEPREFIX/drive_c/windows/system32/ftd2xx.dll
sim_pids=()
cleanup() {
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
    rm -f "$system_library"
    wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb_pid" 2>/dev/null || true
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
# The radio saved in $1 against the Linux tool's conversion; $2 the radio before.
compare_radio() {
    head -1 "$1"
    for name in DEF DYN; do
        cmp -s <(block "$1" $name) <(block "$work/linux.state" $name) ||
            { echo "$name differs from the Linux tool's conversion"; exit 1; }
        echo "$name as the Linux tool leaves it"
    done
    cmp -s <(grep -v '^#' "$1") <(grep -v '^#' "$work/linux.state") ||
        { echo "the radio differs from the Linux tool's conversion"; exit 1; }
    echo "every block as the Linux tool leaves it"
    [ "$(contacts "$1")" = "$(contacts "$2")" ]
    echo "contacts kept: $(contacts "$1")"
}
contacts() { head -1 "$1" | grep -o '[0-9]* contacts'; }
compare_radio "$work/win.state" "$work/before.state"

# The stand-in's radio starts as the one above did and is kept in a file between its runs; its
# line runs in real time, and every write returns once its bytes are in the 8 KiB queue, before
# the line has carried them, as FTDI's library may.
step "End to end: plugshift-cli.exe through FTDI's library (stand-in, 8 KiB transmit queue)"
cp "$win_build/stand-in/ftd2xx.dll" "$system_library"
cp "$work/before.state" "$work/library.state"
data_folder "$work/library-data"
STAND_IN_FTD2XX_STATE=$(winepath -w "$work/library.state")
export STAND_IN_FTD2XX_STATE STAND_IN_FTD2XX_TX_QUEUE=8192 STAND_IN_FTD2XX_LINE_TIMING=1
"${cli[@]}" cables | tr -d '\r' | tee "$work/library-cables.txt"
grep -qx '0: NV PGM Cable (serial number KMVSIM01)' "$work/library-cables.txt"
start=$(date +%s.%N)
"${cli[@]}" convert --yes --keep-personality --data-dir "$work/library-data" \
    2>"$work/library-convert.err" | tr -d '\r' | tee "$work/library-convert.txt"
printf 'conversion took %.1f s\n' "$(echo "$(date +%s.%N) - $start" | bc)"
grep -q 'Model: *RQX770HJNWE' "$work/library-convert.txt"
compare_radio "$work/library.state" "$work/before.state"
unset STAND_IN_FTD2XX_STATE STAND_IN_FTD2XX_TX_QUEUE STAND_IN_FTD2XX_LINE_TIMING

step "doctor on the cable found through FTDI's library, and with a driver refusing purge mask 4"
"${cli[@]}" doctor | tr -d '\r' | tee "$work/doctor.txt"
grep -Eq '^OK +found-by +serial number KMVSIM01: FTDI.s D2XX library \(ftd2xx.dll\) lists the cable$' \
    "$work/doctor.txt"
grep -Eq '^OK +purge +serial number KMVSIM01: the driver takes the purge' "$work/doctor.txt"
STAND_IN_FTD2XX_STRICT_PURGE=1 "${cli[@]}" doctor | tr -d '\r' | tee "$work/doctor-strict.txt"
grep -Eq '^WARN +purge +serial number KMVSIM01: the driver refuses .*FT_INVALID_PARAMETER' \
    "$work/doctor-strict.txt"
rm -f "$system_library"

# The window's checks, on the installation just made.
window_title='KMV410 Plugshift 916-928MHz'
window_exe='C:\Program Files\Kestrelon\KMV Plugshift PERU\bin\plugshift.exe'
shots=$root/build/windows-check-windows
# The tool's top-level windows on the display; xdotool's names are patterns.
tool_windows() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true; }
# Every visible window as a PNG named after its caption ($1 before it), each name once (its
# first picture).
render_windows() {
    local id name file
    for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
        name=$(xdotool getwindowname "$id" 2>/dev/null | tr -c 'A-Za-z0-9.-' '_') || continue
        file=$shots/${1:-}${name:-untitled}.png
        [ -e "$file" ] && continue
        xwd -silent -id "$id" 2>/dev/null | xwdtopnm 2>/dev/null | pnmtopng >"$file" 2>/dev/null ||
            rm -f "$file"
    done
}
# Waits up to $2 tenths of a second for the process $1 to end; false when it still runs.
ended() {
    for _ in $(seq "$2"); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}

# A Spanish-speaking dealer's computer: the installation and the data folder under names with
# accents and other scripts. The command line converts keeping the personality, lists the
# record and writes the backup back; the window starts from that installation.
step "Non-ASCII folders: convert, history and restore-personality, and the window's start-up"
accented_install="$work/instalación データ"
accented_data="$work/datos ñandú データ"
mkdir -p "$accented_install/bin"
cp -r "$win_build/data" "$win_build/lang" "$win_build/skel" "$accented_install/"
cp "$win_build/bin/plugshift-cli.exe" "$accented_install/bin/"
[ ! -f "$win_build/bin/plugshift.exe" ] || cp "$win_build/bin/plugshift.exe" "$accented_install/bin/"
data_folder "$accented_data"
folders=(--install-dir "$(winepath -w "$accented_install")" --data-dir "$(winepath -w "$accented_data")")
accented_cli=(wine "$accented_install/bin/plugshift-cli.exe")
start_sim "$work/accented.state" "$com5" --pacing
kill -USR1 "${sim_pids[-1]}"; sleep 0.5
cp "$work/accented.state" "$work/accented-before.state"
"${accented_cli[@]}" convert --yes --keep-personality --port COM5 "${folders[@]}" \
    2>"$work/accented-convert.err" | tr -d '\r' >"$work/accented-convert.txt" ||
    { cat "$work/accented-convert.err"; exit 1; }
grep -q 'Model: *RQX770HJNWE' "$work/accented-convert.txt"
backup=$(ls "$accented_data/backup/"*.pbk)
echo "backup: $backup"
"${accented_cli[@]}" history "${folders[@]}" | tr -d '\r' | tee "$work/accented-history.txt"
grep -q 'datos ñandú データ' "$work/accented-history.txt"
"${accented_cli[@]}" restore-personality --yes --port COM5 "${folders[@]}" \
    "$(winepath -w "$backup")" 2>&1 | tr -d '\r' | tail -3
stop_sim
[ "$(contacts "$work/accented.state")" = "$(contacts "$work/accented-before.state")" ]
echo "contacts kept: $(contacts "$work/accented.state")"
if [ -f "$accented_install/bin/plugshift.exe" ]; then
    wine "$accented_install/bin/plugshift.exe" --simulate >"$work/accented-window.out" 2>&1 &
    accented_window_pid=$!
    accented_window=$(timeout 60 xdotool search --sync --onlyvisible \
        --name '^KMV410 Plugshift 916-928MHz$' | head -1) ||
        { echo "the window did not open from $accented_install:"; cat "$work/accented-window.out"; exit 1; }
    sleep 1
    xdotool windowfocus --sync "$accented_window" key --clearmodifiers alt+F4
    ended "$accented_window_pid" 100 || { echo "the window did not close"; exit 1; }
    echo "the window started from $accented_install and closed"
fi

window_check() {
    rm -rf "$shots" && mkdir -p "$shots"
    step "The installed window on COM5 to a paced kmv-sim, driven by the test station"
    start_sim "$work/window.state" "$com5" --pacing
    kill -USR1 "${sim_pids[-1]}"; sleep 0.5
    cp "$work/window.state" "$work/window-before.state"
    wine "$window_exe" >"$work/window.out" 2>&1 &
    local window_pid=$!
    local window
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "^$window_title\$" | head -1) ||
        { echo "the window did not open:"; cat "$work/window.out"; exit 1; }
    sleep 2  # the cable poll runs once a second
    render_windows
    echo "window $window open"

    # A second start finds the first and ends, leaving one window.
    timeout 30 wine "$window_exe" >/dev/null 2>&1 ||
        { echo "a second start did not end by itself"; exit 1; }
    [ "$(tool_windows "$window_title" | wc -l)" -eq 1 ] ||
        { echo "a second window opened"; exit 1; }
    echo "a second start ended at once and left the first window"

    local station=(wine "$win_build/bin/plugshift-test-station.exe" --title "$window_title")
    local start
    start=$(date +%s.%N)
    "${station[@]}" >"$work/station.txt" 2>&1 &
    local station_pid=$!
    while ! ended "$station_pid" 10; do render_windows; done
    local station_status=0
    wait "$station_pid" || station_status=$?
    tr -d '\r' <"$work/station.txt"
    printf 'the station took %.1f s\n' "$(echo "$(date +%s.%N) - $start" | bc)"
    sleep 1
    render_windows after-
    [ "$station_status" -eq 0 ] || { echo "the test station failed ($station_status)"; exit 1; }
    stop_sim
    compare_radio "$work/window.state" "$work/window-before.state"

    step "Keys on the window: Enter and Esc keep it, Alt+F4 closes it"
    xdotool windowfocus --sync "$window"
    for key in Return Escape; do
        xdotool key --clearmodifiers "$key"
        sleep 1
        [ -n "$(tool_windows "$window_title")" ] || { echo "$key closed the window"; exit 1; }
        echo "$key: the window stays"
    done
    xdotool key --clearmodifiers alt+F4
    ended "$window_pid" 300 || { echo "Alt+F4 did not end the window"; exit 1; }
    echo "Alt+F4: the window closed and the program ended"

    # Every window of the program, each opened on its own with the sample installation (the
    # About box, the dealer login, the message boxes, ...), beside those seen above.
    scripts/render-win32-windows.sh "$win_build" "$shots/each" >/dev/null
    step "Windows rendered to $shots"
    (cd "$shots" && ls ./*.png each/*.png)
}

step "Installer: silent install under Wine"
packaging/windows/installer-check.sh "$win_build" install

# The simulated cable as the system lists a real one: a device of the Ports class with the
# cable's USB description, on COM5. The window has no option to name a port; it polls the
# system's cables as on a dealer's PC.
cable_key='HKLM\System\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+KMVSIM01A'
step "COM5 in Wine's device list as the programming cable"
wine reg add "$cable_key\0000" /v ClassGUID /d '{4d36e978-e325-11ce-bfc1-08002be10318}' /f >/dev/null
wine reg add "$cable_key\0000" /v DeviceDesc /d 'NV PGM Cable' /f >/dev/null
wine reg add "$cable_key\0000\Device Parameters" /v PortName /d COM5 /f >/dev/null
"${cli[@]}" cables | tr -d '\r' | tee "$work/cables.txt"
grep -qx '0: NV PGM Cable (COM5)' "$work/cables.txt"

if [ -f "$win_build/bin/plugshift.exe" ]; then
    window_check
else
    step "No window in this build (bin/plugshift.exe): its checks are left out"
fi

wine reg delete "$cable_key" /f >/dev/null
step "Installer: silent uninstall under Wine"
packaging/windows/installer-check.sh "$win_build" uninstall
step "Windows check passed"
