#!/bin/sh
# help2man runs this in place of a program: --version passes through, and --help prints the
# program's help followed by the help of each of its subcommands, nested ones included, so the
# manual page covers every command line the program takes.
#   PLUGSHIFT_MAN_EXE          the built program
#   PLUGSHIFT_MAN_BUILD_BIN    its folder in the build tree, and
#   PLUGSHIFT_MAN_INSTALL_BIN  the installed folder that replaces it in printed defaults
set -eu
exe=$PLUGSHIFT_MAN_EXE

# Defaults that name a folder are shown as an installed tool of any user would see them.
installed() {
    sed -e "s|$PLUGSHIFT_MAN_BUILD_BIN|$PLUGSHIFT_MAN_INSTALL_BIN|g"
}

# The subcommand names listed under "Subcommands:" in a help text.
subcommands() {
    awk '/^Subcommands:/ { listing = 1; next }
         listing && /^  [^ ]/ { print $1; next }
         listing { listing = 0 }'
}

# One subcommand: a heading with its command line, then its description and options indented,
# without the help option every subcommand repeats.
describe() {
    help=$("$exe" "$@" --help | installed)
    printf '%s:\n' "$*"
    printf '%s\n' "$help" | awk '
        NR == 1 { print "  " $0 ".\n"; next }
        /^Usage: / { print "  " $0 "\n"; next }
        /^(Options|Positionals|Subcommands):$/ || /^$/ { next }
        /^  -h,--help / { next }
        { print }'
    printf '\n'
    for sub in $(printf '%s\n' "$help" | subcommands); do
        describe "$@" "$sub"
    done
}

case "${1:-}" in
    --version)
        exec "$exe" --version
        ;;
    --help)
        # A default under the home folder would show the builder's; show it as a user reads it.
        # shellcheck disable=SC2088 # the tilde is text here
        XDG_DATA_HOME='~/.local/share'
        export XDG_DATA_HOME
        top=$("$exe" --help | installed)
        printf '%s\n\n' "$top"
        for sub in $(printf '%s\n' "$top" | subcommands); do
            describe "$sub"
        done
        ;;
    *)
        echo "usage: $0 --help | --version" >&2
        exit 2
        ;;
esac
