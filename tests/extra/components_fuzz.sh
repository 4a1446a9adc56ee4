#!/usr/bin/env bash
# Builds the stored-form fuzz target with clang in its own build folder (build-fuzz) and
# runs it for a bounded time (QUIL_FUZZ_SECONDS, 60 by default), seeded with the good and
# broken stored forms of tests/data/components. Skipped (exit 0) without clang++.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${QUIL_FUZZ_SECONDS:-60}
echo "== stored-form reader under libFuzzer (${seconds} s) =="
if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ not found: skipped"
    exit 0
fi
build=build-fuzz
mkdir -p "$build"
log=$build/build.log
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DQUIL_TESTS=OFF -DQUIL_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
cmake --build "$build" --target combogrid_storedform_fuzz -j 2 >>"$log" 2>&1 \
    || { tail -40 "$log" >&2; exit 1; }
corpus=$build/corpus-storedform
mkdir -p "$corpus"
cp tests/data/components/*.bin "$corpus"/
export QT_QPA_PLATFORM=offscreen
# Qt keeps font and style caches for the life of the process: the suite's suppressions.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
"$build/fuzz/combogrid_storedform_fuzz" -max_total_time="$seconds" -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$build/" "$corpus" 2>"$build/fuzz.log" \
    || { tail -60 "$build/fuzz.log" >&2; echo "FAIL fuzz target (crash input in $build/)" >&2; exit 1; }
grep -E '^stat::number_of_executed_units|^Done' "$build/fuzz.log" || true
echo "ok   no crash, leak or broken invariant in ${seconds} s"
