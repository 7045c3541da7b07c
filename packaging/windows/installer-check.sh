#!/usr/bin/env bash
# The Windows installer under Wine: a silent install puts the programs, the installation's
# data and the help in place, the installation id in the registry, the Start-menu entries for
# every user, and the shared data folder (C:\ProgramData\Kestrelon\KMV Plugshift PERU) with its
# setup file, writable for the machine's users; the installed plugshift-cli uses that folder; a
# silent uninstall removes the programs and the entries and keeps the id and the data folder.
# Usage: installer-check.sh BUILD_DIR [install|uninstall] (BUILD_DIR the windows or
# windows-test build tree), with WINEPREFIX set; both steps when none is named, so checks of the
# installed programs can run in between.
set -euo pipefail
build=$1
steps=${2:-install uninstall}
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEDEBUG=-all
installer=$(ls "$build"/kmv-plugshift-peru-*-setup.exe)
product_key='HKLM\SOFTWARE\Kestrelon\KMV Plugshift PERU'
target="$WINEPREFIX/drive_c/Program Files/Kestrelon/KMV Plugshift PERU"
data="$WINEPREFIX/drive_c/ProgramData/Kestrelon/KMV Plugshift PERU"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KMV Plugshift PERU"
fail() { echo "installer check: $*" >&2; exit 1; }

install() {
    wine "$installer" /S
    files=(bin/plugshift-cli.exe data/config.xml skel/data/setup.dat lang/en_us.html lang/sp_la.html
        uninstall.exe)
    entries=("KMV Plugshift PERU command prompt.lnk" "KMV Plugshift PERU help.lnk"
        "KMV Plugshift PERU ayuda.lnk")
    if [ -f "$build/bin/plugshift.exe" ]; then
        files+=(bin/plugshift.exe)
        entries+=("KMV Plugshift PERU.lnk")
    fi
    for f in "${files[@]}"; do
        [ -f "$target/$f" ] || fail "$f not installed"
    done
    [ "$(ls "$target/data"/*.ftf | wc -l)" -eq "$(ls "$build/data"/*.ftf | wc -l)" ] ||
        fail "flash files missing"
    [ "$(ls "$target/lang"/*.html | wc -l)" -eq "$(ls "$build/lang"/*.html | wc -l)" ] ||
        fail "help pages missing"
    grep -qF 'C:\ProgramData' "$target/lang/sp_la.html" || fail "the installed help is not the Windows help"
    for entry in "${entries[@]}"; do
        [ -f "$menu/$entry" ] || fail "no Start-menu entry $entry"
    done
    echo "Start menu: $(cd "$menu" && ls | tr '\n' ';')"
    id=$(wine reg query "$product_key" /v id | tr -d '\r' | awk '$1 == "id" {print $3}')
    [ -n "$id" ] || fail "no installation id in the registry"
    echo "installed; installation id $id"

    # The shared data folder: the installer made it with the setup file. Wine keeps a folder's access
    # list as its Unix mode, the machine's users as its group: their write access is the group's
    # write bit, which a folder made without the list lacks (umask 022).
    [ -f "$data/data/setup.dat" ] || fail "no setup file in the data folder $data"
    [ -n "$(find "$data" -maxdepth 0 -perm -g+w)" ] ||
        fail "the data folder is not writable for the machine's users ($(stat -c %A "$data"))"
    echo "data folder $data ($(stat -c %A "$data")), with its setup file"

    # The installed program finds its installation (bin\..) and uses the shared data folder: it
    # makes the setup file there again from the skeleton.
    rm "$data/data/setup.dat"
    out=$(wine "C:\\Program Files\\Kestrelon\\KMV Plugshift PERU\\bin\\plugshift-cli.exe" config check)
    grep -q '^Region: PERU' <<<"$out" || fail "installed plugshift-cli: $out"
    [ -f "$data/data/setup.dat" ] || fail "installed plugshift-cli did not use $data"
    echo "installed plugshift-cli loads its installation and uses the shared data folder"
}

uninstall() {
    id=$(wine reg query "$product_key" /v id | tr -d '\r' | awk '$1 == "id" {print $3}')
    wine "$target/uninstall.exe" /S
    # The uninstaller runs a copy of itself and returns at once.
    for _ in $(seq 100); do [ -e "$target" ] || break; sleep 0.2; done
    [ ! -e "$target" ] || fail "uninstall left $(cd "$target" && find . -type f)"
    [ ! -e "$menu" ] || fail "uninstall left the Start-menu entries"
    [ -f "$data/data/setup.dat" ] || fail "uninstall removed the shared data folder"
    kept=$(wine reg query "$product_key" /v id | tr -d '\r' | awk '$1 == "id" {print $3}')
    [ "$kept" = "$id" ] || fail "uninstall did not keep the installation id"
    echo "uninstalled; the installation id and the shared data folder are kept"
}

for step in $steps; do "$step"; done
