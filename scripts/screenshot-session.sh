# The start every desktop screenshot script shares, sourced right after it has gone to the
# repository's folder: it runs the script again under a neutral home folder, makes the work
# folder ($work, removed at exit together with the programs started below: $quil, $wm,
# $xvfb) and offers the steps the scripts take in their own order.
# Usage: . scripts/screenshot-session.sh

# Under a neutral home folder, so no picture shows anything of this computer.
[ -n "${QUIL_NEUTRAL_HOME:-}" ] || exec scripts/neutral-home.sh "scripts/$(basename "$0")" "$@"
out=docs
work=$(mktemp -d)
quil=; wm=; xvfb=
trap 'kill $quil $wm $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

# copy_program FOLDER: the built program and its modules, to be started from FOLDER.
copy_program() {
  cp build/quil build/quil.hlp build/libquil_charts.so build/libquil_tools.so "$1"/
}

# start_display NUMBER SIZE [openbox]: an X server of SIZE (e.g. 1280x800) as DISPLAY, and
# openbox on it when asked.
start_display() {
  export DISPLAY=":$1"
  Xvfb "$DISPLAY" -screen 0 "$2x24" >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  if [ "${3:-}" = openbox ]; then
    openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
  fi
}

# start_quil PROGRAM [ARGS...]: starts the program, its output in $work/quil.log, and gives
# it time to show its main window.
start_quil() {
  "$@" >"$work/quil.log" 2>&1 &
  quil=$!
  sleep 3
}

# window TITLE: the visible window whose title starts with TITLE (waits for it).
window() { xdotool search --sync --onlyvisible --name "^$1" | head -1; }
