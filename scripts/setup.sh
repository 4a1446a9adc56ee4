#!/usr/bin/env bash
# Installs the Debian packages the program and its tests need, when any is missing.
# Usage: scripts/setup.sh [run|test]
set -euo pipefail
what=${1:-run}

pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
      fonts-noto-cjk xvfb xauth qt6-translations-l10n)
# QuilExt.db (Qt SQL's SQLite driver) and the graphs (Qt Charts).
pkgs+=(libqt6sql6-sqlite qt6-charts-dev)
# Qt Charts' CMake package needs the Qt OpenGL one, which qt6-charts-dev does not pull in.
pkgs+=(libqt6opengl6-dev)
# FreeType's headers: the program sets a property on Qt's FreeType library.
pkgs+=(libfreetype-dev)
# libpq: the server data set's client library; SQLite's C library: its push and pull of
# QuilExt.db; libsodium: the drivers' web accounts (Argon2id password hashes, login tokens).
pkgs+=(libpq-dev libsqlite3-dev libsodium-dev)
# quil-web, the drivers' web page: libmicrohttpd and GnuTLS (its HTTPS); cpp-httplib and
# OpenSSL's headers are the HTTP(S) client of its tests and load benchmark.
pkgs+=(libmicrohttpd-dev libgnutls28-dev libcpp-httplib-dev libssl-dev)
# The time zone database: quil-web's dates are the company's zone's (time_zone, Asia/Tokyo).
pkgs+=(tzdata)
if [ "$what" = test ]; then
  pkgs+=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
         fp-compiler fp-units-rtl)
  # ccache: the build without Qt reuses the first build's objects.
  pkgs+=(ccache)
  # pdftoppm turns the printed PDF into images for the printer tests.
  pkgs+=(poppler-utils)
  # The package test: the menu entry's checker, debhelper and dpkg-buildpackage (debian/),
  # lintian, and man to render the manual pages.
  pkgs+=(desktop-file-utils dpkg-dev debhelper lintian man-db appstream)
  # The administrator's guide's test makes the server's TLS certificate as the guide says.
  pkgs+=(openssl)
  # The main window's placement under a real window manager (tests/extra/window_manager.sh).
  pkgs+=(openbox xdotool)
  # The server tests' throwaway cluster (scripts/pg-cluster.sh): initdb, pg_ctl, postgres.
  pkgs+=(postgresql)
  # The drivers' page in a real browser (tests/browser) and its load benchmark's HTTP client;
  # the browser's Japanese locale for the pictures of the page (dates as a phone shows them).
  pkgs+=(chromium chromium-l10n chromium-driver python3-selenium libcpp-httplib-dev)
fi

# The Japanese locale: the tests read libpq's and the programs' texts as a Japanese desktop
# shows them.
if [ "$what" = test ]; then pkgs+=(locales); fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ "$what" = test ] && ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  echo "Generating the ja_JP.UTF-8 locale"
  $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
