#!/usr/bin/env bash
# Takes the manual's screenshots of 期限一覧 and of the licence and paper windows under Xvfb
# and openbox, over the sample data set with licences and papers imported by quil-tool,
# their expiries set around today. Needs a built program (build/quil, build/quil-tool) and
# xvfb, openbox, xdotool, imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/screenshot-session.sh
python3 scripts/sample-data.py "$work"
copy_program "$work"
d() { date -d "$1" +%Y/%m/%d; }
printf '%s\r\n' '運転者,免許証番号,種類,条件,有効期限,確認日,確認者,備考' \
  "山田太郎,,普通・準中型,眼鏡等,$(d '-3 years -20 days'),$(d '-3 years -2 months'),安全 一郎," \
  "山田太郎,,普通・準中型,眼鏡等,$(d '-20 days'),$(d '-3 years'),安全 一郎,更新の連絡待ち" \
  "佐藤花子,,普通,AT限定,$(d '+25 days'),$(d '-1 month'),安全 一郎," >"$work/licences.csv"
printf '%s\r\n' '車両,種類,項目名,保険会社,証明書・証券番号,有効期限,備考' \
  "営業車１号 (品川 400 あ 12-34),車検,,,,$(d '-2 years +12 days')," \
  "営業車１号 (品川 400 あ 12-34),車検,,,,$(d '+12 days'),予約済み" \
  "営業車１号 (品川 400 あ 12-34),自賠責保険,,,第1234567号,$(d '+1 month +12 days')," \
  "営業車１号 (品川 400 あ 12-34),任意保険,,クイル損保,AB-0001,$(d '+8 months')," \
  "軽トラック,車検,,,,$(d '-3 days')," \
  "軽トラック,その他,リース満了,,,$(d '+20 days')," >"$work/papers.csv"
build/quil-tool --data "$work" licences import "$work/licences.csv"
build/quil-tool --data "$work" papers import "$work/papers.csv"
start_display 93 1280x900 openbox
start_quil "$work"/quil
shotwin() { sleep 1; import-im6.q16 -window "$(window "$1")" -frame "$out/$2.png"; }
closewin() { xdotool windowfocus --sync "$(window "$1")" key Escape; sleep 0.5; }
# The notice at start names what lapsed; it closes with Enter.
xdotool windowfocus --sync "$(window "お知らせ")" key Return
sleep 0.5
main=$(window "クイル台帳")
xdotool windowfocus --sync "$main" key alt+t x
shotwin "期限一覧" papers-expiry
closewin "期限一覧"
xdotool windowfocus --sync "$main" key alt+t d
shotwin "運転免許証" papers-licence
closewin "運転免許証"
xdotool windowfocus --sync "$main" key alt+t v
shotwin "車検・保険" papers-vehicle
closewin "車検・保険"
cat "$work/quil.log" >&2
echo "screenshots written to $out/"
