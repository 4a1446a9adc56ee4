#!/usr/bin/env bash
# Takes the README's screenshots of the main window and the entry dialog under Xvfb, with
# the sample data set. Needs a built program (build/quil) and xvfb, xdotool, imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs
work=$(mktemp -d)
trap 'kill $quil $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
python3 scripts/sample-data.py "$work"
cp build/quil build/quil.hlp "$work"/
export DISPLAY=:97
Xvfb $DISPLAY -screen 0 1024x768x24 >/dev/null 2>&1 & xvfb=$!
sleep 1
"$work"/quil >"$work/quil.log" 2>&1 & quil=$!
sleep 3
cat "$work/quil.log" >&2
shot() { import-im6.q16 -window root -crop "$1" "$out/$2.png"; }
names=(driving refuelling maintenance expense)
tabx=(44 116 206 296)
for t in 0 1 2 3; do
  xdotool mousemove "${tabx[$t]}" 170 click 1; sleep 1
  shot 800x500+0+0 "main-${names[$t]}"
done
toolx=(24 65 106 147)
# The dialog's CANCEL button: its row follows the last field row of each kind.
cancely=(370 338 370 338)
for t in 0 1 2 3; do
  xdotool mousemove "${toolx[$t]}" 46 click 1; sleep 1
  shot 430x360+45+45 "entry-${names[$t]}"
  xdotool mousemove 308 "${cancely[$t]}" click 1; sleep 0.5
done
echo "screenshots written to $out/"
