#!/usr/bin/env bash
# The README's two commands: each keeps a build folder of its own (or the same options), so
# one never undoes the other's build; and the run command's no-display hint is the README's.
set -euo pipefail
cd "$(dirname "$0")/../.."
echo "== the README's two commands =="
failed=0
folder_of() { grep -o -- '-B [a-z-]*' "$1" | head -1 | cut -d' ' -f2; }
options_of() { grep -A1 -- "-B $2 " "$1" | grep -o -- '-DQUIL_[A-Z]*=[A-Z]*' | sort | tr '\n' ' '; }
run_folder=$(folder_of scripts/run.sh)
test_folder=$(folder_of scripts/test.sh)
if [ "$run_folder" = "$test_folder" ] &&
   [ "$(options_of scripts/run.sh "$run_folder")" != "$(options_of scripts/test.sh "$test_folder")" ]; then
    echo "FAIL scripts/run.sh and scripts/test.sh configure $run_folder/ with different options" >&2
    failed=1
fi
hint=$(grep -o 'xvfb-run -a [^"]*' scripts/run.sh | head -1)
if ! grep -qF "\`$hint\`" README.md; then
    echo "FAIL the README does not give run.sh's no-display hint ($hint)" >&2
    failed=1
fi
if ! grep -q "exec ${hint#xvfb-run -a }\$" scripts/run.sh; then
    echo "FAIL run.sh's hint ($hint) is not the command it runs" >&2
    failed=1
fi
[ "$failed" -eq 0 ] && echo "run.sh builds in $run_folder/, test.sh in $test_folder/"
exit "$failed"
