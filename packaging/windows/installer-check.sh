#!/usr/bin/env bash
# The Windows installer under Wine: a silent install puts the programs, the installation's
# data and the help in place and the installation id in the registry, the installed plugshift-cli
# loads its installation, and a silent uninstall removes the programs and keeps the id and the
# users' data folders. Usage: installer-check.sh BUILD_DIR (the windows or windows-test build tree), with
# WINEPREFIX set.
set -euo pipefail
build=$1
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEDEBUG=-all
installer=$(ls "$build"/kmv-plugshift-peru-*-setup.exe)
product_key='HKLM\SOFTWARE\Kestrelon\KMV Plugshift PERU'
target="$WINEPREFIX/drive_c/Program Files/Kestrelon/KMV Plugshift PERU"
fail() { echo "installer check: $*" >&2; exit 1; }

wine "$installer" /S
for f in bin/plugshift-cli.exe data/config.xml skel/data/setup.dat lang/en_us.html lang/sp_la.html \
    uninstall.exe; do
    [ -f "$target/$f" ] || fail "$f not installed"
done
[ "$(ls "$target/data"/*.ftf | wc -l)" -eq "$(ls "$build/data"/*.ftf | wc -l)" ] ||
    fail "flash files missing"
id=$(wine reg query "$product_key" /v id | tr -d '\r' | awk '$1 == "id" {print $3}')
[ -n "$id" ] || fail "no installation id in the registry"
echo "installed; installation id $id"

# The installed program finds its installation (bin\..) and makes the user's data folder.
out=$(wine "C:\\Program Files\\Kestrelon\\KMV Plugshift PERU\\bin\\plugshift-cli.exe" config check)
grep -q '^Region: PERU' <<<"$out" || fail "installed plugshift-cli: $out"
data=$(winepath -u "$(wine cmd /c echo %LOCALAPPDATA% | tr -d '\r')")/Kestrelon/KMV\ Plugshift\ PERU
[ -f "$data/data/setup.dat" ] || fail "no data folder at $data"
echo "installed plugshift-cli loads its installation; data folder $data"

wine "$target/uninstall.exe" /S
# The uninstaller runs a copy of itself and returns at once.
for _ in $(seq 100); do [ -e "$target" ] || break; sleep 0.2; done
[ ! -e "$target" ] || fail "uninstall left $(cd "$target" && find . -type f)"
[ -f "$data/data/setup.dat" ] || fail "uninstall removed the user's data folder"
kept=$(wine reg query "$product_key" /v id | tr -d '\r' | awk '$1 == "id" {print $3}')
[ "$kept" = "$id" ] || fail "uninstall did not keep the installation id"
echo "uninstalled; the installation id and the user's data folder are kept"
