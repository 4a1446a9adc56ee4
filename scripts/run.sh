#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
cmake -S . -B build -G Ninja -DQUIL_GUI=ON -DQUIL_TESTS=OFF -DQUIL_BENCH=OFF -DQUIL_SANITIZE=OFF \
      -DQUIL_WERROR=OFF >/dev/null
cmake --build build --target quil
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "quil: no display found (DISPLAY is not set); run it under Xvfb with: xvfb-run -a build/quil" >&2
  exit 1
fi
# --per-user keeps settings and records in ~/.config/quil and ~/.local/share/quil, so
# cleaning the build folder never deletes a record.
exec build/quil --per-user
