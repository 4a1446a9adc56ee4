#!/usr/bin/env bash
# Takes the pictures of the drivers' page (quil-web) at a phone's size for the README and the
# manual: docs/web-login.png, web-home.png, web-check.png, web-refusal.png, web-drive.png and
# web-records.png. The browser test takes them on its way (tests/browser/browser_test.py with
# QUIL_WEB_SCREENSHOTS), against a throwaway PostgreSQL cluster started here and the sample
# data set. Needs a built program (build/src/web/quil-web, build/quil-tool), the PostgreSQL
# server, chromium, chromium-driver and python3-selenium (scripts/setup.sh test).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
state="$work/cluster"
trap 'scripts/pg-cluster.sh stop "$state" || true; rm -rf "$work"' EXIT
scripts/pg-cluster.sh start "$state"
# The browser formats dates and times by its locale: Japanese, as a driver's phone shows them.
LANGUAGE=ja LANG=ja_JP.UTF-8 QUIL_TEST_PG_STATE="$state" QUIL_WEB=build/src/web/quil-web QUIL_TOOL=build/quil-tool \
  QUIL_SAMPLE_DATA=scripts/sample-data.py QUIL_WEB_SCREENSHOTS="$PWD/docs" \
  /usr/bin/python3 tests/browser/browser_test.py
ls -l docs/web-*.png
