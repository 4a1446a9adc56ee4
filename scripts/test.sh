#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs every test:
# the suite, the store built without Qt, the suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and each benchmark in a short smoke run.
#
# The build without Qt compiles the same Qt-free sources with the same flags as the first
# build, so ccache hands it the first build's objects; its tests are the first build's
# Qt-free tests, linked from those same objects, so they are built (the layers hold without
# Qt) but not run a second time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
# CTest's fixture stops each build's throwaway PostgreSQL cluster, even after failed tests;
# this catches a run cut short (Ctrl-C, a failed build step) before the fixture could.
stop_clusters() {
  for state in build{,-noqt,-asan}/pg-cluster.state build{,-noqt,-asan}/tests/server/pg-cluster-*.state; do
    scripts/pg-cluster.sh stop "$state" || true
  done
}
trap stop_clusters EXIT
trap "exit 130" INT
trap "exit 143" TERM
jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null 2>&1; then
  # Paths relative to the tree and no build folder in the hash: build and build-noqt share.
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
export QT_QPA_PLATFORM=offscreen

echo "== build and test =="
# With a Debian package's hardening flags: the packages are cut from this tree.
mapfile -t deb_flags < <(scripts/deb-flags.sh)
cmake -S . -B build -G Ninja -DQUIL_WERROR=ON -DQUIL_GUI=ON -DQUIL_TESTS=ON -DQUIL_BENCH=ON \
      -DQUIL_SANITIZE=OFF "${launcher[@]}" "${deb_flags[@]}" >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== the store alone, without Qt =="
cmake -S . -B build-noqt -G Ninja -DQUIL_WERROR=ON -DQUIL_GUI=OFF -DQUIL_TESTS=ON -DQUIL_BENCH=OFF \
      -DQUIL_SANITIZE=OFF "${launcher[@]}" "${deb_flags[@]}" >/dev/null
cmake --build build-noqt -j "$jobs"
# Every test of this build is one of the first build's, from the same objects.
missing=$(comm -13 <(ctest --test-dir build -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort) \
                   <(ctest --test-dir build-noqt -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort))
if [ -n "$missing" ]; then
  echo "tests of the build without Qt that the first build lacks:" >&2
  echo "$missing" >&2
  exit 1
fi

echo "== sanitizers =="
cmake -S . -B build-asan -G Ninja -DQUIL_WERROR=ON -DQUIL_SANITIZE=ON -DQUIL_GUI=ON -DQUIL_TESTS=ON -DQUIL_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== benchmarks (smoke run) =="
for b in build/bench/*_bench; do
  [ -x "$b" ] || continue
  "$b" --benchmark_min_time=0.01 --benchmark_filter="${QUIL_BENCH_FILTER:-.}" >/dev/null
  echo "ran $(basename "$b")"
done

for extra in tests/extra/*.sh; do
  [ -f "$extra" ] && bash "$extra"
done

echo "== all tests passed =="
