#!/usr/bin/env bash
# The installed program: `cmake --install` lays out the program, help, manual, menu entry and
# icons; CPack's .deb carries them with its dependencies; the package, unpacked into a clean
# root and started by a user who cannot write to its folder, keeps its first-run files in
# that user's own folders. QUIL_BUILD names the build folder (build).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${QUIL_BUILD:-build}
echo "== install tree and Debian package =="
if [ ! -x "$build/quil" ]; then
    echo "missing $build/quil: build the tree first" >&2
    exit 1
fi
work=$(mktemp -d)
trap '[ -n "${QUIL_KEEP:-}" ] || rm -rf "$work"' EXIT
chmod 755 "$work"
passed=0
failed=0
check() {  # check <what> <command...>
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        echo "FAIL $what" >&2
        failed=$((failed + 1))
    fi
}

# The install tree.
DESTDIR=$work/stage cmake --install "$build" --prefix /usr >/dev/null
stage=$work/stage/usr
for f in bin/quil bin/quil-tool lib/quil/libquil_charts.so lib/quil/libquil_tools.so share/quil/quil.hlp share/quil/manual/index.html \
         share/quil/manual/img/main-driving.png share/applications/quil.desktop \
         share/icons/hicolor/scalable/apps/quil.svg share/icons/hicolor/16x16/apps/quil.png \
         share/icons/hicolor/48x48/apps/quil.png share/icons/hicolor/256x256/apps/quil.png; do
    check "install tree holds $f" test -s "$stage/$f"
done
check "the menu entry is valid" desktop-file-validate "$stage/share/applications/quil.desktop"
# Every picture the manual shows is installed with it.
for img in $(grep -o 'img/[a-z-]*\.png' docs/manual/index.html | sort -u); do
    check "manual picture $img installed" test -s "$stage/share/quil/manual/$img"
done

# The package.
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$work"/deb/quil_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
check "package depends on Qt widgets ($depends)" grep -q 'libqt6widgets6' <<<"$depends"
check "package depends on Qt's platform plugins" grep -q 'qt6-qpa-plugins' <<<"$depends"
check "package depends on a Japanese font" grep -q 'fonts-noto-cjk' <<<"$depends"
# The graph window's module: its libraries come with the package's dependencies, and it
# stays out of the program's start-up.
check "package depends on Qt Charts (graph window)" grep -q 'libqt6charts6' <<<"$depends"
dpkg-deb -x "$deb" "$work/root"
check "package installs the program" test -x "$work/root/usr/bin/quil"
check "package installs the graph window's module where the program looks" \
    test -s "$work/root/usr/lib/quil/libquil_charts.so"
check "every library the graph window's module needs is installed" \
    sh -c '! ldd "$0" | grep -q "not found"' "$work/root/usr/lib/quil/libquil_charts.so"
check "the program does not load Qt Charts at start-up" \
    sh -c '! readelf -d "$0" | grep -q libQt6Charts' "$work/root/usr/bin/quil"
# The print, summary and tool windows' module: Qt's print and SQL modules come with the
# package and stay out of the program's start-up as well.
check "package depends on Qt print support ($depends)" grep -q 'libqt6printsupport6' <<<"$depends"
check "package depends on Qt SQL ($depends)" grep -q 'libqt6sql6' <<<"$depends"
check "package installs the tool windows' module where the program looks" \
    test -s "$work/root/usr/lib/quil/libquil_tools.so"
check "the program does not load Qt's print and SQL modules at start-up" \
    sh -c '! readelf -d "$0" | grep -q -e libQt6PrintSupport -e libQt6Sql' "$work/root/usr/bin/quil"
check "the companion tool answers --help" sh -c '"$0" --help >/dev/null' "$work/root/usr/bin/quil-tool"

# Started from the unpacked package by a user who cannot write to /usr/bin.
home=$work/home
mkdir -p "$home/run"
chmod 700 "$home/run"
run=(env HOME="$home" XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen
     timeout 10 "$work/root/usr/bin/quil")
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody "$home"
    runuser -u nobody -- "${run[@]}" >"$work/run.log" 2>&1 || true
else
    chmod a-w "$work/root/usr/bin"
    "${run[@]}" >"$work/run.log" 2>&1 || true
fi
check "first run wrote Quil.ini to the user's configuration folder" \
    test -s "$home/.config/quil/Quil.ini"
check "first run seeded Quil.qui in the user's data folder" \
    test -s "$home/.local/share/quil/Quil.qui"
check "nothing was written beside the program" \
    test "$(ls "$work/root/usr/bin" | tr '\n' ' ')" = "quil quil-tool "
check "the saved data folder is the user's data folder" \
    grep -q "^Dir=$home/.local/share/quil/" "$home/.config/quil/Quil.ini"
check "the installed program found and loaded its tool windows' module" \
    sh -c '! grep -q libquil_tools "$0"' "$work/run.log"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
