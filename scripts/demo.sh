#!/usr/bin/env bash
# Quick start on a fresh Debian 12 machine: installs the build's packages, builds the release
# build and converts the simulated radio with the sample installation through the real serial
# backend, over kmv-sim's pseudo-terminal at the cable's true timing (57600 baud, the adapter's
# 16 ms latency, the radio's flash times), showing the radio's identity before and after. The
# simulated radio and the data folder (setup.dat, err.log, the personality backup) live in a
# temporary folder that is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# Only what the demo runs: the command line, the simulated radio and the sample installation.
cmake --preset release -DPLUGSHIFT_TESTS=OFF
cmake --build --preset release --target plugshift-cli kmv-sim sample_installation

build=build/release
cli="$build/bin/plugshift-cli"
# An empty data folder, as a new user has: the first command copies the installation's setup
# file (<build>/skel/data/setup.dat) into it.
work=$(mktemp -d)
data="$work/data"
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The radio on a pseudo-terminal; its path is the first line kmv-sim prints.
exec 3< <("$build/bin/kmv-sim" --state "$work/radio.txt" 2>"$work/kmv-sim.log")
sim_pid=$!
read -r -u 3 port
echo "== The simulated radio answers on $port (kmv-sim, paced at the line rate)"

echo
echo "== The radio:"
"$cli" info --port "$port" --data-dir "$data"
echo
echo "== Converting it, keeping its owner's personality:"
time "$cli" convert --port "$port" --keep-personality --yes --data-dir "$data"
echo
echo "== The radio now:"
"$cli" info --port "$port" --data-dir "$data"
