#!/usr/bin/env bash
# Builds the Debian package from a release build, installs it on this machine, runs the installed
# programs, then removes and purges it and checks what each step must leave behind. Needs root
# (or sudo) and a machine where the package is not installed; a system-wide installation id that
# is already there is put back at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

readonly PACKAGE=kmv-plugshift-peru
readonly PREFIX=/opt/kestrelon/$PACKAGE
readonly BUILD=build/package
readonly ID_FILE="/etc/xdg/Kestrelon/KMV Plugshift PERU.ini"
readonly UDEV_RULE=/lib/udev/rules.d/60-kmv-plugshift.rules
readonly PROGRAMS=(plugshift plugshift-cli plugshift-console kmv-sim)
readonly MANUALS=(plugshift-cli plugshift-console kmv-sim)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
step() { printf '\n== %s\n' "$*"; }
fail() {
    printf 'package-check: FAIL: %s\n' "$*" >&2
    exit 1
}
installed() { dpkg-query -W -f='${Status}' "$PACKAGE" 2>/dev/null | grep -q "ok installed"; }

if installed; then
    fail "$PACKAGE is installed here; this check installs and purges it, so run it elsewhere"
fi
work=$(mktemp -d)
saved_id=
if [ -e "$ID_FILE" ]; then
    saved_id=$work/saved-id.ini
    cp -p "$ID_FILE" "$saved_id"
fi
cleanup() {
    if dpkg-query -W "$PACKAGE" >/dev/null 2>&1; then
        "${as_root[@]}" apt-get purge -y -q "$PACKAGE" >/dev/null || true
    fi
    if [ -n "$saved_id" ] && [ ! -e "$ID_FILE" ]; then
        "${as_root[@]}" mkdir -p "$(dirname "$ID_FILE")"
        "${as_root[@]}" cp -p "$saved_id" "$ID_FILE"
    fi
    rm -rf "$work"
}
trap cleanup EXIT

step "Release build"
scripts/install-deps.sh
# The release preset in a folder of its own, without the test suites the package does not ship.
cmake --preset release -B "$BUILD" -DPLUGSHIFT_TESTS=OFF
cmake --build "$BUILD"

step "Package"
rm -f "$BUILD"/"${PACKAGE}"_*.deb
(cd "$BUILD" && cpack -G DEB)
debs=("$BUILD"/"${PACKAGE}"_*.deb)
deb=${debs[0]}
dpkg-deb --field "$deb" Package Version Depends Recommends
contents=$(dpkg-deb --contents "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; print substr($0, 6) }')
expect_in_package() {
    grep -qxF "$1" <<<"$contents" || fail "the package lacks $1"
}
# Each program joins the package when it is built; the command line is always there.
built=()
for program in "${PROGRAMS[@]}"; do
    if grep -qxF ".$PREFIX/bin/$program" <<<"$contents"; then
        built+=("$program")
        expect_in_package "./usr/bin/$program -> $PREFIX/bin/$program"
        if [[ " ${MANUALS[*]} " == *" $program "* ]]; then
            expect_in_package "./usr/share/man/man1/$program.1.gz"
        fi
    fi
done
expect_in_package ".$PREFIX/bin/plugshift-cli"
expect_in_package ".$PREFIX/data/config.xml"
expect_in_package ".$PREFIX/skel/data/setup.dat"
expect_in_package ".$UDEV_RULE"
if [[ " ${built[*]} " == *" plugshift "* ]]; then
    expect_in_package "./usr/share/applications/plugshift.desktop"
    expect_in_package ".$PREFIX/lang/en_us.html"
    expect_in_package ".$PREFIX/lang/sp_la.html"
    [ "$(grep -c "^\.$PREFIX/lang/.*\.html\$" <<<"$contents")" -eq "$(ls "$BUILD"/lang/*.html | wc -l)" ] ||
        fail "the package lacks help pages"
    # The Linux help, not the Windows one.
    help=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ".$PREFIX/lang/sp_la.html")
    grep -qF /dev/ttyUSB0 <<<"$help" || fail "the packaged help is not the Linux help"
    # F1 hands the help to xdg-open.
    dpkg-deb --field "$deb" Recommends | grep -qw xdg-utils ||
        fail "the package does not recommend xdg-utils"
    for size in 16 32 48 64 128 256; do
        expect_in_package "./usr/share/icons/hicolor/${size}x${size}/apps/$PACKAGE.png"
    done
fi
echo "programs in the package: ${built[*]}"

step "Install"
"${as_root[@]}" apt-get install -y -q "./$deb"
installed || fail "apt-get did not install $PACKAGE"
for program in "${built[@]}"; do
    [ "$(readlink "/usr/bin/$program")" = "$PREFIX/bin/$program" ] ||
        fail "/usr/bin/$program does not link to $PREFIX/bin/$program"
done
if [[ " ${built[*]} " == *" plugshift "* ]]; then
    # Started from the menu, the window's working folder is bin/, where ../lang/ holds the help.
    grep -qxF "Path=$PREFIX/bin" /usr/share/applications/plugshift.desktop ||
        fail "the menu entry does not start plugshift in $PREFIX/bin"
fi
id_line=$(grep -E '^id=.+' "$ID_FILE") || fail "$ID_FILE holds no id"
echo "installation id: $id_line"

step "Installed programs"
for program in "${built[@]}"; do
    QT_QPA_PLATFORM=offscreen "$program" --version || fail "$program --version failed"
done
# A user's first start, with no data folder yet: the program makes it and copies the
# installation's setup file into it.
export XDG_DATA_HOME=$work/share
data="$XDG_DATA_HOME/Kestrelon/KMV Plugshift PERU"
plugshift-cli config check | tee "$work/check.txt"
grep -q '^Region: PERU' "$work/check.txt" || fail "config check does not show the PERU region"
cmp "$PREFIX/skel/data/setup.dat" "$data/data/setup.dat" ||
    fail "the first start did not copy $PREFIX/skel/data/setup.dat into the data folder"
if plugshift-cli --help | grep -qE '^  convert '; then
    plugshift-cli convert --simulate --yes --install-dir "$PREFIX" --data-dir "$data"
else
    echo "plugshift-cli has no convert command in this build: the conversion is skipped"
fi
mkdir -p "$data/backup"
echo "kept across removal" >"$data/backup/marker"
(cd "$data" && find . -type f -exec sha256sum {} + | sort) >"$work/data-before.txt"

step "Reinstall"
"${as_root[@]}" apt-get install -y -q --reinstall "./$deb"
[ "$(grep -E '^id=' "$ID_FILE")" = "$id_line" ] || fail "reinstalling changed the installation id"
echo "the installation id is unchanged"

step "Remove"
"${as_root[@]}" apt-get remove -y -q "$PACKAGE"
for program in "${PROGRAMS[@]}"; do
    if [ -e "/usr/bin/$program" ] || [ -L "/usr/bin/$program" ]; then
        fail "/usr/bin/$program is still there"
    fi
done
[ ! -e "$PREFIX" ] || fail "$PREFIX is still there"
[ ! -e "$UDEV_RULE" ] || fail "$UDEV_RULE is still there"
[ "$(grep -E '^id=' "$ID_FILE")" = "$id_line" ] || fail "removing changed the installation id"
(cd "$data" && find . -type f -exec sha256sum {} + | sort) >"$work/data-after.txt"
diff "$work/data-before.txt" "$work/data-after.txt" || fail "removing changed the data folder"
echo "links, programs and rule are gone; the id file and the data folder are untouched"

step "Purge"
"${as_root[@]}" apt-get purge -y -q "$PACKAGE"
[ ! -e "$ID_FILE" ] || fail "purging left $ID_FILE"
diff "$work/data-before.txt" <(cd "$data" && find . -type f -exec sha256sum {} + | sort) ||
    fail "purging changed the data folder"
echo "the id file is gone; the data folder is untouched"

printf '\npackage-check: OK in %d s\n' "$SECONDS"
