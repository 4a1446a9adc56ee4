#!/usr/bin/env bash
# Builds the store's fuzz targets with clang in their own build folder (build-fuzz-store,
# without Qt) and runs each for a few seconds (QUIL_FUZZ_SECONDS, 5 by default) from its
# seed corpus in fuzz/corpus/<target>. Skipped (exit 0) without clang++.
# A longer run of one target: QUIL_FUZZ_SECONDS=600 QUIL_FUZZ_TARGETS=store_operations_fuzz \
#   tests/extra/store_fuzz.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${QUIL_FUZZ_SECONDS:-5}
targets=${QUIL_FUZZ_TARGETS:-"store_operations_fuzz startup_check_fuzz ini_roundtrip_fuzz period_fuzz"}
echo "== store under libFuzzer (${seconds} s each) =="
if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ not found: skipped"
    exit 0
fi
build=build-fuzz-store
mkdir -p "$build"
log=$build/build.log
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DQUIL_GUI=OFF -DQUIL_TESTS=OFF \
      -DQUIL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
# The targets write their scratch files under TMPDIR; a memory file system keeps the syncs cheap.
scratch=$(mktemp -d "${QUIL_FUZZ_TMP:-/dev/shm}/quil-fuzz-XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in $targets; do
    cmake --build "$build" --target "$target" -j 2 >>"$log" 2>&1 || { tail -40 "$log" >&2; exit 1; }
    corpus=$build/corpus-$target
    mkdir -p "$corpus"
    cp fuzz/corpus/"$target"/* "$corpus"/
    TMPDIR=$scratch "$build/fuzz/$target" -max_total_time="$seconds" -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$build/$target-" "$corpus" 2>"$build/$target.log" \
        || { tail -40 "$build/$target.log" >&2; echo "FAIL $target (crash input in $build/)" >&2; exit 1; }
    runs=$(grep -E '^stat::number_of_executed_units' "$build/$target.log" | awk '{print $2}')
    echo "ok   $target: ${runs:-?} runs, no crash or broken invariant"
done
