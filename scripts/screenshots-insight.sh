#!/usr/bin/env bash
# Takes the README's screenshots of the analysis windows (ツール menu) under Xvfb and openbox,
# over the sample data set with a year of records added by sample-fleet.py. Needs a built
# program (build/quil) and xvfb, openbox, xdotool, imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/screenshot-session.sh
python3 scripts/sample-data.py "$work"
python3 scripts/sample-fleet.py "$work"
copy_program "$work"
start_display 96 1280x900 openbox
start_quil "$work"/quil
cat "$work/quil.log" >&2
shotwin() { sleep 1; import-im6.q16 -window "$(window "$1")" -frame "$out/$2.png"; }
closewin() { xdotool windowfocus --sync "$(window "$1")" key Escape; sleep 0.5; }
main=$(window "クイル台帳")
# The status bar notice of overdue maintenance, on the main window.
import-im6.q16 -window "$main" -frame "$out/schedule-notice.png"
# 燃費・費用 over every record (period 全て): focus starts on the vehicle box; Tab twice
# reaches the period box, Home picks 全て, Tab and space press 集計.
open_all() {
  xdotool windowfocus --sync "$main" key alt+t "$1"
  sleep 1
  local w
  w=$(window "$2")
  xdotool windowfocus --sync "$w" key Tab Tab Home Tab space
  sleep 1
}
open_all f "燃費・費用"
shotwin "燃費・費用" insight-fuel-vehicles
xdotool windowfocus --sync "$(window "燃費・費用")" key ctrl+Tab
shotwin "燃費・費用" insight-fuel-months
closewin "燃費・費用"
# グラフ: the same period; the chart kind box sits between the period box and 表示.
xdotool windowfocus --sync "$main" key alt+t g
sleep 1
g=$(window "グラフ")
xdotool windowfocus --sync "$g" key Tab Tab Home Tab End Tab space
shotwin "グラフ" insight-chart-cost
xdotool windowfocus --sync "$g" key shift+Tab Home Tab space
shotwin "グラフ" insight-chart-distance
closewin "グラフ"
xdotool windowfocus --sync "$main" key alt+t m
shotwin "点検・整備予定" insight-schedule
closewin "点検・整備予定"
xdotool windowfocus --sync "$main" key alt+t k
shotwin "走行距離チェック" insight-odometer
closewin "走行距離チェック"
echo "screenshots written to $out/"
