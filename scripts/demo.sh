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
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
# A data folder as the installer leaves it: the sample's setup file.
mkdir -p "$data/data"
cp "$build/sample-home/data/Kestrelon/KMV Plugshift PERU/data/setup.dat" "$data/data/"

echo
echo "== The simulated radio:"
"$cli" info --simulate --data-dir "$data"
echo
echo "== Converting it, keeping its owner's personality:"
"$cli" convert --simulate --keep-personality --yes --data-dir "$data"
echo
echo "== The simulated radio now:"
"$cli" info --simulate --data-dir "$data"
