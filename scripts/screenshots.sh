#!/usr/bin/env bash
# Takes the README's screenshots of the main window and the dialogs under Xvfb, with
# the sample data set. Needs a built program (build/quil) and xvfb, xdotool, imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/screenshot-session.sh
python3 scripts/sample-data.py "$work"
copy_program "$work"
start_display 97 1024x768
start_quil "$work"/quil
cat "$work/quil.log" >&2
shot() { import-im6.q16 -window root -crop "$1" "$out/$2.png"; }
names=(driving refuelling maintenance expense)
tabx=(44 116 206 296)
for t in 0 1 2 3; do
  xdotool mousemove "${tabx[$t]}" 170 click 1; sleep 1
  shot 800x500+0+0 "main-${names[$t]}"
done
# Dialogs are captured by their window, found by the start of their title, and closed with
# Escape once they have the keyboard focus.
shotwin() { sleep 1; import-im6.q16 -window "$(window "$1")" "$out/$2.png"; }
closewin() { xdotool windowfocus --sync "$(window "$1")" key Escape; sleep 0.5; }
main=$(window "クイル台帳")
toolx=(24 65 106 147)
titles=(走行記録 給油記録 点検・整備記録 出費記録)
for t in 0 1 2 3; do
  xdotool mousemove "${toolx[$t]}" 46 click 1
  shotwin "${titles[$t]}－追加" "entry-${names[$t]}"
  closewin "${titles[$t]}－追加"
done
# The vehicle list of the master list editor, and the first vehicle opened by a double click.
xdotool windowfocus --sync "$main" key alt+s c
shotwin "設定－車両" itemform
xdotool mousemove --window "$(window "設定－車両")" 40 18 click --repeat 2 1
shotwin "車両情報の修正" carform
closewin "車両情報の修正"
closewin "設定－車両"
# The display filters behind the 車両 and 期間 buttons.
xdotool mousemove 42 112 click 1
shotwin "表示－車両" viewitem
closewin "表示－車両"
xdotool mousemove 42 85 click 1
shotwin "表示期間" viewtime
closewin "表示期間"
# The data folder dialog in its backup mode.
xdotool windowfocus --sync "$main" key alt+f b
shotwin "データのバックアップ" dirset
closewin "データのバックアップ"
# The summary table from the ツール menu over every record (period 全て).
xdotool windowfocus --sync "$main" key alt+t s
sleep 1
cal=$(window "集計表")
xdotool windowfocus --sync "$cal"
xdotool mousemove --window "$cal" 185 20 click 1 sleep 0.5 key Home Return
xdotool mousemove --window "$cal" 297 20 click 1
shotwin "集計表" calform
closewin "集計表"
# The version box (ヘルプ → バージョン情報).
xdotool windowfocus --sync "$main" key alt+h a
shotwin "バージョン情報" about
closewin "バージョン情報"
# The CSV export's file dialog (ツール → CSV書き出し) over the user's home folder.
xdotool windowfocus --sync "$main" key alt+t e
shotwin "CSV書き出し" csv-export
closewin "CSV書き出し"
# The print dialog's preview of the driving list, then the list printed to a PDF file whose
# first page becomes an image.
xdotool mousemove 44 170 click 1; sleep 0.5
xdotool windowfocus --sync "$main" key alt+f p
sleep 1
shotwin "印刷" priansform
xdotool windowfocus --sync "$(window "印刷")" key alt+v
shotwin "印刷プレビュー" print-preview
closewin "印刷プレビュー"
xdotool windowfocus --sync "$(window "印刷")" key alt+d Down alt+n ctrl+a
xdotool type "$work/list.pdf"
xdotool key alt+o
sleep 2
pdftoppm -r 60 -f 1 -l 1 -png "$work/list.pdf" "$work/page"
cp "$work"/page-*1.png "$out/printed-page.png"
echo "screenshots written to $out/"
