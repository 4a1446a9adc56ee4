#!/usr/bin/env bash
# Takes the manual's pictures of ツール → 利用者とその権限 and → 運転者のログイン under Xvfb
# and openbox: a throwaway PostgreSQL cluster with the sample data set pushed into it, three
# accounts and two drivers' logins. Needs a built program (build/quil, build/quil-tool), the
# PostgreSQL server, xvfb, openbox, xdotool and imagemagick; run as root (the cluster runs
# as an unprivileged user).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/screenshot-session.sh
chmod 755 "$work"
state="$work/cluster"
trap 'kill $quil $wm $xvfb 2>/dev/null || true; scripts/pg-cluster.sh stop "$state" || true; rm -rf "$work"' EXIT
scripts/pg-cluster.sh start "$state"
socket=$(head -1 "$state")
psql -h "$socket" -U quil_test -d postgres -qc "CREATE DATABASE quil" >/dev/null
conninfo="host=$socket dbname=quil user=quil_test"
python3 scripts/sample-data.py "$work/data"
build/quil-tool --server "$conninfo" server init >/dev/null
build/quil-tool --server "$conninfo" server push "$work/data/" >/dev/null
for account in "yamada 事務" "sato 閲覧" "suzuki 管理者"; do
  set -- $account
  echo "sample-password-1" | build/quil-tool --server "$conninfo" server account-add "$1" "$2" >/dev/null
done
echo "" | build/quil-tool --server "$conninfo" server account-disable sato >/dev/null
for login in "yamada.t 山田太郎" "sato.h 佐藤花子"; do
  set -- $login
  echo "sample-password-1" | build/quil-tool --server "$conninfo" server driver-add "$1" "$2" >/dev/null
done
# As if 山田 had logged in from his phone and chosen his own password.
psql -h "$socket" -U quil_test -d quil -qc \
  "UPDATE quil_web_account SET must_change_password = false WHERE login = 'yamada.t'" >/dev/null
mkdir -p "$work/program"
copy_program "$work/program"
start_display 97 1280x800 openbox
start_quil "$work/program/quil" --server "$conninfo"
xdotool windowactivate --sync "$(window "クイル台帳")" key alt+t u
sleep 1
import-im6.q16 -frame -window "$(window "利用者とその権限")" "$out/accounts.png"
xdotool windowactivate --sync "$(window "利用者とその権限")" key Escape
sleep 1
xdotool windowactivate --sync "$(window "クイル台帳")" key alt+t w
sleep 1
import-im6.q16 -frame -window "$(window "運転者のログイン")" "$out/web-accounts.png"
