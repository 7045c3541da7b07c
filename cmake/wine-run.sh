#!/bin/sh
# Runs a Windows program of the build under Wine, for build steps and tests. Wine's background
# programs (services.exe, winedevice.exe) outlive the first program of a session and inherit its
# output; left on a pipe, they keep ninja or ctest waiting for the end of that output long after
# the program has ended. So the program writes to a file that is shown afterwards.
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 1
trap 'rm -f "$out"' EXIT
"$PLUGSHIFT_WINE" "$@" >"$out" 2>&1
status=$?
cat "$out"
exit "$status"
