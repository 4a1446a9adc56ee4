#!/usr/bin/env bash
# The combo grid's stored form against a real peer: Free Pascal's TWriter and TReader.
# Both writers must turn the same value script into the same bytes (and those into the
# bytes expected by hand), each reader must read the other's bytes back to the script, and
# Pascal must read the grid's own stored form as expected and write it back unchanged.
# Skipped (exit 0) when fpc is not installed. QUIL_BUILD names the build folder (build).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${QUIL_BUILD:-build}
echo "== stored form against Free Pascal =="
if ! command -v fpc >/dev/null 2>&1; then
    echo "fpc not found: skipped"
    exit 0
fi
peer=$build/tests/ui/components/quil_valuelist_peer
if [ ! -x "$peer" ]; then
    echo "missing $peer: build the tree first" >&2
    exit 1
fi
out=$build/pascal-peer
data=tests/data/components
mkdir -p "$out"
if ! fpc -Mobjfpc -FE"$out" -FU"$out" tests/ui/components/ValueListPeer.pas >"$out/fpc.log" 2>&1; then
    cat "$out/fpc.log" >&2
    exit 1
fi
pas=$out/ValueListPeer
fail=0
check() {  # check <what> <command...>
    local what=$1
    shift
    if "$@" >/dev/null; then
        echo "ok   $what"
    else
        echo "FAIL $what" >&2
        fail=1
    fi
}
"$peer" write "$data/valuelist_script.txt" "$out/cpp.bin"
"$pas" write "$data/valuelist_script.txt" "$out/pas.bin"
check "TWriter bytes = expected bytes" cmp "$out/pas.bin" "$data/valuelist_expected.bin"
check "our writer's bytes = TWriter's bytes" cmp "$out/cpp.bin" "$out/pas.bin"
"$pas" read "$out/cpp.bin" "$out/pas-read.txt"
check "TReader reads our bytes back to the script" \
    diff <(tr -d '\r' <"$out/pas-read.txt") "$data/valuelist_script.txt"
"$peer" read "$out/pas.bin" "$out/cpp-read.txt"
check "our reader reads TWriter's bytes back to the script" \
    diff "$out/cpp-read.txt" "$data/valuelist_script.txt"
"$peer" grid "$out/grid.bin"
"$pas" read "$out/grid.bin" "$out/grid.txt"
check "TReader reads a grid's stored form as expected" \
    diff <(tr -d '\r' <"$out/grid.txt") "$data/grid_expected.txt"
"$pas" write "$out/grid.txt" "$out/grid-pas.bin"
check "TWriter writes the grid's stored form back byte for byte" cmp "$out/grid.bin" "$out/grid-pas.bin"
exit $fail
