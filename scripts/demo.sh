#!/usr/bin/env bash
# Quick start on a fresh Debian 12 machine: installs the build's packages, builds the release
# build and converts the simulated radio with the sample installation, showing the radio's
# identity before and after. The simulated radio and its data folder (setup.dat, err.log, the
# personality backup) live in a temporary folder that is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# Only what the demo runs: the command line and the packed sample installation.
cmake --preset release -DPLUGSHIFT_TESTS=OFF
cmake --build --preset release --target plugshift-cli sample_installation

build=build/release
cli="$build/bin/plugshift-cli"
# An empty data folder, as a new user has: the first command copies the installation's setup
# file (<build>/skel/data/setup.dat) into it.
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT

echo
echo "== The simulated radio:"
"$cli" info --simulate --data-dir "$data"
echo
echo "== Converting it, keeping its owner's personality:"
"$cli" convert --simulate --keep-personality --yes --data-dir "$data"
echo
echo "== The simulated radio now:"
"$cli" info --simulate --data-dir "$data"
