#!/usr/bin/env bash
# The menu entry as installing writes it: valid, and starting the program in the installation's
# bin/, from where the help's relative path ../lang/<code>.html reaches the shipped help.
# Usage: desktop_entry.sh BUILD_DIR DESKTOP_FILE_VALIDATE
set -euo pipefail
readonly build=$1 validate=$2
readonly prefix=/opt/desktop-entry-check

dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() {
    printf 'desktop-entry: FAIL: %s\n' "$*" >&2
    exit 1
}

DESTDIR=$dest cmake --install "$build" --prefix "$prefix" >/dev/null
entry=$dest/usr/share/applications/plugshift.desktop
[ -f "$entry" ] || fail "installing wrote no $entry"
"$validate" "$entry"
path=$(sed -n 's/^Path=//p' "$entry")
[ "$path" = "$prefix/bin" ] || fail "Path= is '$path', not $prefix/bin"
[ -x "$dest$path/plugshift" ] || fail "no plugshift in $path"
[ -s "$dest$path/../lang/en_us.html" ] || fail "no help at $path/../lang/en_us.html"
echo "desktop-entry: OK ($path, help at ../lang/en_us.html)"
