#!/usr/bin/env bash
# The built program answers --help and --version and refuses an unknown option without a
# display and without starting its window. Usage: command_line.sh PROGRAM
set -u
program=$1
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$program" "$@"; }
fail=0
out=$(run --help) && grep -q -- '--per-user' <<<"$out" || { echo "FAIL --help: $out"; fail=1; }
out=$(run --version) && grep -q '^quil (クイル台帳) [0-9]' <<<"$out" || { echo "FAIL --version: $out"; fail=1; }
err=$(run --bogus 2>&1 >/dev/null)
code=$?
[ "$code" -eq 2 ] && grep -q -- '--bogus' <<<"$err" && grep -q '使い方' <<<"$err" ||
    { echo "FAIL --bogus (exit $code): $err"; fail=1; }
# Started without a display, it says so in Japanese and ends with status 1.
err=$(run 2>&1 >/dev/null)
code=$?
[ "$code" -eq 1 ] && grep -q '画面が見つかりません' <<<"$err" || { echo "FAIL no display (exit $code): $err"; fail=1; }
exit $fail
