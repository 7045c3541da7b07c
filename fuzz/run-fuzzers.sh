#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while on a copy of its seed
# corpus. Usage: fuzz/run-fuzzers.sh [seconds per target, default 30]
# Exits non-zero when a target finds a crash; the reproducer is left in build/fuzz/findings.
# Once the fault is mended, keep the reproducer in fuzz/regressions/<corpus>/: the test build
# replays every file there, and the seeds, through the same target (ctest -L fuzz-replay).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=build/fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLUGSHIFT_SANITIZE=ON -DPLUGSHIFT_TESTS=OFF \
    -DPLUGSHIFT_FUZZ=ON >/dev/null
targets=(fuzz_ftf_loader:ftf fuzz_address_map:address_map fuzz_cpg_stream:cpg_stream
         config_load_fuzz:config_load fuzz_sbep_reply:sbep_reply)
cmake --build "$build" -j 2 --target "${targets[@]%%:*}"

mkdir -p "$build/findings"
for entry in "${targets[@]}"; do
    target=${entry%%:*}
    seeds=fuzz/corpus/${entry##*:}
    dict=()
    [ -f "fuzz/${entry##*:}.dict" ] && dict=(-dict="fuzz/${entry##*:}.dict")
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    echo "== $target for ${seconds}s"
    # New inputs go to the scratch folder; the seeds in the repository stay as they are.
    "$build/bin/$target" "$work" "$seeds" "${dict[@]}" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -artifact_prefix="$build/findings/$target-" -print_final_stats=1 \
        2>&1 | tail -n 12
    rm -rf "$work"
done
