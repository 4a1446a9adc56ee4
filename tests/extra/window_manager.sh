#!/usr/bin/env bash
# The main window under a real window manager (openbox on its own Xvfb): five start/quit
# cycles keep exactly the saved placement, at scale 1 and at QT_SCALE_FACTOR=2, and the
# window, frame included, lies on the screen. QUIL_BUILD names the build folder (build).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${QUIL_BUILD:-build}
echo "== the main window's placement under a window manager =="
for tool in Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/setup.sh test" >&2; exit 1; }
done
work=$(mktemp -d)
xvfb=
wm=
cleanup() {
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# A display of our own: the first free number from 140.
n=140
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
export DISPLAY=:$n
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
HOME=$work openbox >"$work/openbox.log" 2>&1 &
wm=$!
sleep 1
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
failed=0

# One start and quit; prints the saved Location as "left top width height".
cycle() {  # cycle <home> [env...]
    local home=$1
    shift
    env HOME="$home" XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_RUNTIME_DIR="$home/run" "$@" \
        "$build/quil" --per-user >>"$home/quil.log" 2>&1 &
    local pid=$! win=
    for _ in $(seq 100); do
        win=$(xdotool search --onlyvisible --pid "$pid" --name 'クイル台帳' 2>/dev/null | head -1) || true
        [ -n "$win" ] && break
        sleep 0.1
    done
    if [ -z "$win" ]; then
        echo "the window did not appear" >&2
        kill "$pid" 2>/dev/null || true
        return 1
    fi
    sleep 1.5  # the window manager frames the window and the program settles
    xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers alt+F4
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        echo "the program did not quit on alt+F4" >&2
        kill "$pid"
        return 1
    fi
    local ini=$home/.config/quil/Quil.ini
    echo "$(sed -n 's/^Left=//p' "$ini" | tr -d '\r') $(sed -n 's/^Top=//p' "$ini" | tr -d '\r')" \
         "$(sed -n 's/^Width=//p' "$ini" | tr -d '\r') $(sed -n 's/^Height=//p' "$ini" | tr -d '\r')"
}

# Five cycles after the first start must all save the same placement, which fits the
# screen (logical pixels: 1280x1024 divided by the scale).
cycles() {  # cycles <name> <screen width> <screen height> [env...]
    local name=$1 sw=$2 sh=$3
    shift 3
    local home=$work/$name
    mkdir -p "$home/run"
    chmod 700 "$home/run"
    local first
    first=$(cycle "$home" "$@") || { echo "FAIL $name: first start" >&2; failed=1; return; }
    local places=("$first")
    for _ in 1 2 3 4 5; do
        places+=("$(cycle "$home" "$@")") || { echo "FAIL $name: a start" >&2; failed=1; return; }
    done
    echo "$name: ${places[*]/%/;}"
    if [ "$name" = moved ] && [ "${places[1]}" != "200 150 700 500" ]; then
        echo "FAIL moved: the saved placement 200 150 700 500 came back as ${places[1]}" >&2
        failed=1
    fi
    local p
    for p in "${places[@]:1}"; do
        if [ "$p" != "${places[1]}" ]; then
            echo "FAIL $name: the placement changed from one start to the next: ${places[*]/%/;}" >&2
            failed=1
            break
        fi
    done
    read -r left top width height <<<"${places[5]}"
    if [ "$left" -lt 0 ] || [ "$top" -lt 0 ] || [ $((left + width)) -gt "$sw" ] ||
       [ $((top + height)) -gt "$sh" ]; then
        echo "FAIL $name: the window ($left,$top ${width}x$height) leaves the ${sw}x$sh screen" >&2
        failed=1
    fi
}

cycles scale1 1280 1024
# A placement saved away from the corner keeps its place as well as its size.
mkdir -p "$work/moved/.config/quil"
printf '[Location]\r\nTop=150\r\nLeft=200\r\nWidth=700\r\nHeight=500\r\n' >"$work/moved/.config/quil/Quil.ini"
cycles moved 1280 1024
# A window saved larger than the screen at scale 2 comes back within it and stays so.
mkdir -p "$work/scale2/.config/quil"
printf '[Location]\r\nTop=40\r\nLeft=10\r\nWidth=1200\r\nHeight=1000\r\n' >"$work/scale2/.config/quil/Quil.ini"
cycles scale2 640 512 QT_SCALE_FACTOR=2

[ "$failed" -eq 0 ] && echo "the placement round-trips under openbox"
exit "$failed"
