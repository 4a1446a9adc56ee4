#!/usr/bin/env bash
# Takes the README's screenshots of the alcohol-check register under Xvfb and openbox,
# with the sample data set and a few checks: the entry dialog, the register's list, the
# missing-check list and a printed page. Needs a built program (build/quil) and xvfb,
# openbox, xdotool, imagemagick, poppler-utils and python3.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/screenshot-session.sh
python3 scripts/sample-data.py "$work"
copy_program "$work"
start_display 96 1280x800 openbox
shotwin() { sleep 1; import-im6.q16 -frame -window "$(window "$1")" "$out/$2.png"; }
closewin() { xdotool windowactivate --sync "$(window "$1")" key Escape; sleep 0.5; }

# A first start opens the register once, so QuilExt.db exists with its tables.
start_quil "$work"/quil
xdotool windowactivate --sync "$(window "クイル台帳")" key alt+t l
window "アルコールチェック記録簿" >/dev/null
kill $quil; wait $quil 2>/dev/null || true
# The checks of April 2004: the drive of 4/3 lacks its after-drive check.
python3 - "$work/QuilExt.db" <<'PY'
import datetime, sqlite3, sys
def day(y, m, d, hh=0, mm=0):
    return (datetime.datetime(y, m, d, hh, mm) - datetime.datetime(1899, 12, 30)).total_seconds() / 86400
db = sqlite3.connect(sys.argv[1])
db.execute("INSERT INTO alcohol_detector (name, serial, in_use_since, last_inspection)"
           " VALUES ('アルコールチェッカー AC-1', 'SN-2004-001', ?, ?)", (day(2004, 1, 5), day(2004, 3, 1)))
rows = [(day(2004, 4, 1, 8, 20), 0, 2, 0, "安全 一郎", 0, "", 0.0, 0, "", "", 0),
        (day(2004, 4, 1, 17, 10), 1, 2, 0, "安全 一郎", 0, "", 0.0, 0, "", "", 0),
        (day(2004, 4, 3, 8, 50), 0, 3, 1, "安全 一郎", 1, "", 0.02, 0, "", "出張先から", 0),
        (day(2004, 4, 6, 8, 40), 0, 2, 0, "管理 次郎", 3, "無線", 0.18, 1, "運転中止、佐藤に交代", "", 0)]
db.executemany("INSERT INTO alcohol_check (checked_at, timing, driver, vehicle, checker, method,"
               " method_text, reading, intoxicated, instructions, remarks, deleted, detector)"
               " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1)", rows)
db.execute("INSERT OR REPLACE INTO alcohol_setting (key, value) VALUES ('company_name', '株式会社クイル運輸')")
db.commit()
PY

start_quil "$work"/quil
main=$(window "クイル台帳")
import-im6.q16 -window root -crop 1000x120+0+0 "$work/top.png"
xdotool windowactivate --sync "$main" key alt+t a
shotwin "アルコールチェック－追加" alcohol-entry
closewin "アルコールチェック－追加"
xdotool windowactivate --sync "$main" key alt+t n
shotwin "アルコールチェック漏れ" alcohol-missing
closewin "アルコールチェック漏れ"
xdotool windowactivate --sync "$main" key alt+t r
shotwin "アルコール検知器" alcohol-detectors
closewin "アルコール検知器"
xdotool windowactivate --sync "$main" key alt+t l
shotwin "アルコールチェック記録簿" alcohol-list
# The register of April 2004 printed to a PDF file, its first page as an image.
xdotool windowactivate --sync "$(window "アルコールチェック記録簿")" key alt+p
sleep 1
xdotool windowactivate --sync "$(window "アルコールチェック記録簿の印刷")" key Tab Tab Tab Down Tab ctrl+a
xdotool type "$work/register.pdf"
xdotool key alt+o
sleep 2
pdftoppm -r 60 -f 1 -l 1 -png "$work/register.pdf" "$work/page"
cp "$work"/page-*1.png "$out/alcohol-printed.png"
cat "$work/quil.log" >&2
echo "screenshots written to $out/"
