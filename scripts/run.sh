#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it. The program is built in
# build-run/, apart from the test command's build/ (warnings as errors, tests, benchmarks), so
# neither command undoes the other's build and a second run only relinks what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
cmake -S . -B build-run -G Ninja -DQUIL_GUI=ON -DQUIL_TESTS=OFF -DQUIL_BENCH=OFF -DQUIL_SANITIZE=OFF \
      -DQUIL_WERROR=OFF >/dev/null
cmake --build build-run --target quil
# --per-user keeps settings and records in ~/.config/quil and ~/.local/share/quil, so
# cleaning the build folder never deletes a record.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "quil: no display found (DISPLAY is not set); run it under Xvfb with: xvfb-run -a build-run/quil --per-user" >&2
  exit 1
fi
exec build-run/quil --per-user
