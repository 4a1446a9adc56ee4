#!/usr/bin/env bash
# The installed program: `cmake --install` lays out the program, help, manual, manual pages,
# menu entry and icons; debian/ cuts the packages quil, quil-tool, quil-web and quil-common
# from the built tree (no second compile), with their dependencies, hardening and the
# service's maintainer scripts, and lintian (pedantic) finds nothing; the packages, unpacked
# into a clean root and started by a user who cannot write to its folder, keep the first-run
# files in that user's own folders, and the installed quil-tool finds and backs up that data
# set. QUIL_BUILD names the build folder (build), which scripts/test.sh configures with the
# packages' flags (scripts/deb-flags.sh).
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

# The install tree. The modules are private libraries in the architecture's library folder.
DESTDIR=$work/stage cmake --install "$build" --prefix /usr >/dev/null
stage=$work/stage/usr
modules=lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/quil
for f in bin/quil bin/quil-tool $modules/libquil_charts.so $modules/libquil_tools.so \
         share/man/man1/quil.1.gz share/man/man1/quil-tool.1.gz share/doc/quil/copyright \
         share/man/ja/man1/quil.1.gz share/man/ja/man1/quil-tool.1.gz share/man/ja/man8/quil-web.8.gz \
         share/doc/quil/changelog.gz share/quil/quil.hlp share/quil/manual/index.html \
         share/quil/manual/img/main-driving.png share/applications/quil.desktop \
         share/icons/hicolor/scalable/apps/quil.svg share/icons/hicolor/16x16/apps/quil.png \
         share/icons/hicolor/48x48/apps/quil.png share/icons/hicolor/256x256/apps/quil.png \
         share/doc/quil-web/admin-guide.md; do
    check "install tree holds $f" test -s "$stage/$f"
done
# The drivers' web page: its program, manual page, service unit and settings (outside the
# prefix, where Debian keeps them).
for f in usr/bin/quil-web usr/share/man/man8/quil-web.8.gz lib/systemd/system/quil-web.service \
         etc/quil/quil-web.conf; do
    check "install tree holds /$f" test -s "$work/stage/$f"
done
# The unit starts the program where the install put it: /usr/bin in the package, /usr/local/bin
# in a source install, whose unit lies where systemd reads /usr/local's units.
check "the unit of a /usr install starts /usr/bin/quil-web" \
    grep -qx 'ExecStart=/usr/bin/quil-web --config /etc/quil/quil-web.conf' \
    "$work/stage/lib/systemd/system/quil-web.service"
DESTDIR=$work/local cmake --install "$build" --prefix /usr/local >/dev/null
check "the unit of a /usr/local install starts /usr/local/bin/quil-web" \
    grep -qx 'ExecStart=/usr/local/bin/quil-web --config /etc/quil/quil-web.conf' \
    "$work/local/usr/local/lib/systemd/system/quil-web.service"
check "the unit gives up a service that keeps failing" \
    grep -qx 'StartLimitBurst=5' "$work/stage/lib/systemd/system/quil-web.service"
# Status 3: the settings are sound, and only the database they name is not there to log in to.
check "the installed web settings pass quil-web's own check" \
    sh -c '"$0" --check-config "$1" >/dev/null 2>&1; s=$?; [ $s -eq 0 ] || [ $s -eq 3 ]' \
    "$stage/bin/quil-web" "$work/stage/etc/quil/quil-web.conf"
check "the menu entry is valid" desktop-file-validate "$stage/share/applications/quil.desktop"
check "the AppStream metadata is valid" \
    appstreamcli validate --no-net "$stage/share/metainfo/org.example.quil.metainfo.xml"
# Every picture the manual shows is installed with it.
for img in $(grep -o 'img/[a-z-]*\.png' docs/manual/index.html | sort -u); do
    check "manual picture $img installed" test -s "$stage/share/quil/manual/$img"
done

# The packages, cut by debian/rules from this tree without compiling it again: dpkg-buildpackage
# in a copy of debian/ alone (its results land beside it, in the throwaway folder).
if ! grep -q -e '-fstack-protector-strong' "$build/CMakeCache.txt"; then
    echo "$build is built without the packages' hardening flags: configure it as scripts/test.sh does" >&2
    echo "(scripts/deb-flags.sh); QUIL_DEB_UNHARDENED=1 packages it anyway, and the hardening checks fail" >&2
    [ -n "${QUIL_DEB_UNHARDENED:-}" ] || exit 1
fi
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
mkdir -p "$work/src/quil-$version"
cp -r debian "$work/src/quil-$version/"
package_started=$(date +%s.%N)
tree=$(realpath "$build")
(cd "$work/src/quil-$version" &&
    QUIL_BUILD=$tree QUIL_UNHARDENED=${QUIL_DEB_UNHARDENED:-} DEB_BUILD_OPTIONS=noddebs \
    dpkg-buildpackage -b -us -uc -nc >"$work/build.log" 2>&1) || { tail -n 40 "$work/build.log" >&2; exit 1; }
package_built=$(date +%s.%N)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=$work/src/quil_${version}_$arch.deb
tool_deb=$work/src/quil-tool_${version}_$arch.deb
web_deb=$work/src/quil-web_${version}_$arch.deb
common_deb=$work/src/quil-common_${version}_all.deb
for d in "$deb" "$tool_deb" "$web_deb" "$common_deb"; do
    check "package $(basename "$d") was built" test -s "$d"
done
lintian_status=0
lintian --pedantic --display-info --display-experimental --show-overrides --fail-on none \
    "$work/src/quil_${version}_$arch.changes" >"$work/lintian.log" 2>&1 || lintian_status=$?
package_checked=$(date +%s.%N)
# Every tag lintian gives, pedantic and informational included, is fixed or overridden with
# its reason in debian/*.lintian-overrides (which it shows: proof that it read those packages).
check "lintian ran (status $lintian_status)" test "$lintian_status" -eq 0
check "lintian read quil-common and quil-web with their overrides" \
    sh -c 'grep -q "^O: quil-common: " "$0" && grep -q "^O: quil-web: " "$0"' "$work/lintian.log"
check "lintian --pedantic finds nothing ($(grep -c '^[EWIPX]:' "$work/lintian.log" || true) tags)" \
    sh -c '! grep "^[EWIPX]:" "$0" >&2' "$work/lintian.log"
depends=$(dpkg-deb -f "$deb" Depends)
tool_depends=$(dpkg-deb -f "$tool_deb" Depends)
web_depends=$(dpkg-deb -f "$web_deb" Depends)
check "quil depends on Qt widgets ($depends)" grep -q 'libqt6widgets6' <<<"$depends"
check "quil depends on Qt's platform plugins" grep -q 'qt6-qpa-plugins' <<<"$depends"
check "quil depends on a Japanese font" grep -q 'fonts-noto-cjk' <<<"$depends"
# Qt's own Japanese button texts: without them question boxes say Yes/No.
check "quil depends on Qt's translations" grep -q 'qt6-translations-l10n' <<<"$depends"
check "quil depends on the manual of this version" grep -q "quil-common (= $version)" <<<"$depends"
# A server takes the tool and the web page without Qt.
check "quil-tool needs no Qt ($tool_depends)" sh -c 'case "$0" in *libqt6*) exit 1 ;; esac' "$tool_depends"
check "quil-tool depends on the shared files (its installed copy is per-user)" \
    grep -q "quil-common (= $version)" <<<"$tool_depends"
check "quil-web needs no Qt ($web_depends)" sh -c 'case "$0" in *libqt6*) exit 1 ;; esac' "$web_depends"
check "quil-web depends on libmicrohttpd" grep -q 'libmicrohttpd' <<<"$web_depends"
check "quil-web depends on adduser (its postinst makes the service's user)" grep -q 'adduser' <<<"$web_depends"
check "the manual's package is architecture-independent" test "$(dpkg-deb -f "$common_deb" Architecture)" = all
check "the desktop package carries no service" \
    sh -c '! dpkg-deb -c "$0" | grep -q -e quil-web -e /etc/' "$deb"
check "the web settings are a conffile of quil-web" \
    sh -c 'dpkg-deb --ctrl-tarfile "$0" | tar -xOf - ./conffiles | grep -qx /etc/quil/quil-web.conf' "$web_deb"
# The service's life with the package: its user before debhelper's part, which restarts a
# running service after an upgrade; stopped on removal; its links gone on purge.
ctrl=$work/web-control
mkdir -p "$ctrl"
dpkg-deb -e "$web_deb" "$ctrl"
check "postinst makes the user quil-web before the service is (re)started" \
    sh -c 'a=$(grep -n "adduser --system" "$0" | cut -d: -f1); b=$(grep -n "deb-systemd-invoke" "$0" | cut -d: -f1);
           [ -n "$a" ] && [ -n "$b" ] && [ "$a" -lt "$b" ]' "$ctrl/postinst"
check "an upgrade restarts the service" grep -q '_dh_action=restart' "$ctrl/postinst"
# Not enabled on install (only a unit enabled before is enabled again); deb-systemd-invoke
# starts no disabled unit.
check "installing does not enable the service" \
    sh -c 'grep -q "deb-systemd-helper debian-installed .quil-web.service." "$0" &&
           ! grep -q "was-enabled defaults to true" "$0"' "$ctrl/postinst"
check "removing the package stops the service" \
    sh -c 'grep -q "deb-systemd-invoke stop" "$0" && grep -q remove "$0"' "$ctrl/prerm"
check "purging the package removes the service's links" grep -q 'deb-systemd-helper purge' "$ctrl/postrm"
# Hardening, as dpkg-buildflags gives it: every program binds its symbols at start
# (BIND_NOW) and has the stack protector; the Qt-free programs call FORTIFY's checked
# functions.
for d in "$deb" "$tool_deb" "$web_deb"; do dpkg-deb -x "$d" "$work/hard"; done
for f in usr/bin/quil usr/bin/quil-tool usr/bin/quil-web usr/$modules/libquil_charts.so usr/$modules/libquil_tools.so; do
    check "$f binds every symbol at start (BIND_NOW)" \
        sh -c 'readelf -d "$0" | grep -q -E "BIND_NOW|FLAGS.*NOW"' "$work/hard/$f"
    check "$f has the stack protector" sh -c 'readelf --dyn-syms -W "$0" | grep -q __stack_chk_fail' "$work/hard/$f"
done
for f in usr/bin/quil-tool usr/bin/quil-web; do
    check "$f calls FORTIFY's checked functions" \
        sh -c 'readelf --dyn-syms -W "$0" | grep -q -E "__[a-z_]+_chk@"' "$work/hard/$f"
done
# The graph window's module: its libraries come with the package's dependencies, and it
# stays out of the program's start-up.
check "package depends on Qt Charts (graph window)" grep -q 'libqt6charts6' <<<"$depends"
for d in "$deb" "$tool_deb" "$web_deb" "$common_deb"; do dpkg-deb -x "$d" "$work/root"; done
# The administrator's guide lies where the manual pages of quil-web say, in both languages.
guide=usr/share/doc/quil-web/admin-guide.md.gz
check "quil-web carries the administrator's guide" sh -c 'zcat "$0" | grep -q pg_hba.conf' "$work/root/$guide"
check "the manual pages of quil-web name the guide" \
    sh -c 'zcat "$1" | grep -qF "/$0" && zcat "$2" | grep -qF "/$0"' "$guide" \
    "$work/root/usr/share/man/man8/quil-web.8.gz" "$work/root/usr/share/man/ja/man8/quil-web.8.gz"
check "package installs the program" test -x "$work/root/usr/bin/quil"
check "the package's unit starts /usr/bin/quil-web" \
    grep -q '^ExecStart=/usr/bin/quil-web ' "$work/root/lib/systemd/system/quil-web.service"
check "package installs the graph window's module where the program looks" \
    test -s "$work/root/usr/$modules/libquil_charts.so"
check "every library the graph window's module needs is installed" \
    sh -c '! ldd "$0" | grep -q "not found"' "$work/root/usr/$modules/libquil_charts.so"
check "the program does not load Qt Charts at start-up" \
    sh -c '! readelf -d "$0" | grep -q libQt6Charts' "$work/root/usr/bin/quil"
# The print, summary and tool windows' module: Qt's print and SQL modules come with the
# package and stay out of the program's start-up as well.
check "package depends on Qt print support ($depends)" grep -q 'libqt6printsupport6' <<<"$depends"
check "package depends on Qt SQL ($depends)" grep -q 'libqt6sql6' <<<"$depends"
check "package installs the tool windows' module where the program looks" \
    test -s "$work/root/usr/$modules/libquil_tools.so"
check "the program does not load Qt's print and SQL modules at start-up" \
    sh -c '! readelf -d "$0" | grep -q -e libQt6PrintSupport -e libQt6Sql' "$work/root/usr/bin/quil"
check "the companion tool answers --help" sh -c '"$0" --help >/dev/null' "$work/root/usr/bin/quil-tool"
check "the companion tool answers --version" \
    sh -c '"$0" --version | grep -q "^quil-tool (クイル台帳) [0-9]"' "$work/root/usr/bin/quil-tool"
# The program's command line without a display: help and version answer, an unknown option
# is refused with the usage; none of them needs a window.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$work/root/usr/bin/quil")
check "quil --help answers without a display" sh -c '"$@" --help | grep -q -- --per-user' sh "${nodisplay[@]}"
check "quil --version answers without a display" \
    sh -c '"$@" --version | grep -q "^quil (クイル台帳) [0-9]"' sh "${nodisplay[@]}"
check "quil refuses an unknown option with exit status 2" \
    sh -c '"$@" --bogus 2>/dev/null; test $? -eq 2' sh "${nodisplay[@]}"
check "the manual pages render without warnings" \
    sh -c 'for m in "$@"; do LC_ALL=C.UTF-8 man --warnings -l "$m" 2>&1 >/dev/null | grep . && exit 1; done; exit 0' \
    sh "$work/root/usr/share/man/man1/quil.1.gz" "$work/root/usr/share/man/man1/quil-tool.1.gz" \
    "$work/root/usr/share/man/man8/quil-web.8.gz"
check "the Japanese manual pages render without warnings" \
    sh -c 'for m in "$@"; do LC_ALL=ja_JP.UTF-8 man --warnings -l "$m" 2>&1 >/dev/null | grep . && exit 1; done; exit 0' \
    sh "$work/root/usr/share/man/ja/man1/quil.1.gz" "$work/root/usr/share/man/ja/man1/quil-tool.1.gz" \
    "$work/root/usr/share/man/ja/man8/quil-web.8.gz"

# Started from the unpacked package by a user who cannot write to /usr/bin.
home=$work/home
mkdir -p "$home/run"
chmod 700 "$home/run"
run=(env HOME="$home" XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen
     timeout 10 "$work/root/usr/bin/quil")
as_user() {  # as_user <command...>: as the unprivileged user
    if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi
}
tool=(env HOME="$home" XDG_CONFIG_HOME= XDG_DATA_HOME= "$work/root/usr/bin/quil-tool")
backup=$work/backup
mkdir -p "$backup"
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody "$home" "$backup"
else
    chmod a-w "$work/root/usr/bin"
fi
# Before any start there is no data set: the tool refuses, naming the folder, and copies
# nothing.
code=0
as_user "${tool[@]}" backup "$backup" >"$work/tool0.out" 2>"$work/tool0.err" || code=$?
check "quil-tool refuses to back up before the first start (exit $code)" test "$code" -eq 1
check "quil-tool names the user's data folder it found empty" \
    grep -q "$home/.local/share/quil/" "$work/tool0.err"
check "nothing was copied from a folder without a data set" test -z "$(ls -A "$backup")"
as_user "${run[@]}" >"$work/run.log" 2>&1 || true
check "first run wrote Quil.ini to the user's configuration folder" \
    test -s "$home/.config/quil/Quil.ini"
check "first run seeded Quil.qui in the user's data folder" \
    test -s "$home/.local/share/quil/Quil.qui"
check "nothing was written beside the program" \
    test "$(ls "$work/root/usr/bin" | tr '\n' ' ')" = "quil quil-tool quil-web "
check "the saved data folder is the user's data folder" \
    grep -q "^Dir=$home/.local/share/quil/" "$home/.config/quil/Quil.ini"
check "the installed program found and loaded its tool windows' module" \
    sh -c '! grep -q libquil_tools "$0"' "$work/run.log"
# After the first start the installed quil-tool finds the same data set and backs it up.
code=0
as_user "${tool[@]}" backup "$backup" >"$work/tool1.out" 2>"$work/tool1.err" || code=$?
check "the installed quil-tool backs up the user's data set (exit $code)" test "$code" -eq 0
check "quil-tool names the folder it backed up on its first line" \
    test "$(head -1 "$work/tool1.err")" = "quil-tool: データフォルダー: $home/.local/share/quil/"
check "the backup holds the user's Quil.qui" \
    cmp -s "$backup/Quil.qui" "$home/.local/share/quil/Quil.qui"
check "the backup holds the user's Quil.qud when there is one" \
    sh -c '[ ! -e "$1" ] && [ ! -e "$2" ] || cmp -s "$1" "$2"' sh \
    "$home/.local/share/quil/Quil.qud" "$backup/Quil.qud"
check "quil-tool check names the folder and finds it sound" \
    as_user sh -c '"$@" check 2>/dev/null | grep -q "^データフォルダー: .*/.local/share/quil/$"' sh "${tool[@]}"

# Root can write /usr/bin: the installed copy still keeps its files in root's own folders.
if [ "$(id -u)" -eq 0 ]; then
    roothome=$work/roothome
    mkdir -p "$roothome/run"
    chmod 700 "$roothome/run"
    env HOME="$roothome" XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_RUNTIME_DIR="$roothome/run" \
        QT_QPA_PLATFORM=offscreen timeout 10 "$work/root/usr/bin/quil" >"$work/rootrun.log" 2>&1 || true
    check "run by root, the installed program keeps Quil.ini in root's configuration folder" \
        test -s "$roothome/.config/quil/Quil.ini"
    check "run by root, the installed program writes nothing beside the program" \
        test "$(ls "$work/root/usr/bin" | tr '\n' ' ')" = "quil quil-tool quil-web "
fi

awk -v a="$package_started" -v b="$package_built" -v c="$package_checked" \
    'BEGIN { printf "package step: dpkg-buildpackage %.1f s, lintian %.1f s\n", b - a, c - b }'
echo "lintian: $(grep -c '^[EWIPX]:' "$work/lintian.log" || true) tags shown, $(grep -c '^O:' "$work/lintian.log" || true) overridden"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
