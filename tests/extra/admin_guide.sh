#!/usr/bin/env bash
# The administrator's guide (docs/admin-guide.md), followed literally on a Debian
# PostgreSQL: a throwaway cluster made by pg_createcluster (Debian's own pg_hba.conf with
# its `local all all peer`, conf.d, peer authentication) gets the guide's `sh` blocks in
# the order written, with the installed quil-tool and quil-web first on the PATH. Only the
# values of the guide's variables PGVER (the installed version), PGCLUSTER, PGPORT, SERVER_ADDRESS, OFFICE_NET and
# QUILWEB_CONF are replaced; blocks marked 「検査では実行しない」 are left out (the package's
# installation, a copy from a USB stick, systemd); the copy becomes a plain cp. What the
# test adds: the password file the administrator writes with an editor, and the office PC's
# home folder. Runs as root (through sudo if need be) on the
# built tree (QUIL_BUILD, build).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${QUIL_BUILD:-build}
echo "== the administrator's guide on a throwaway Debian cluster =="
# Clusters belong to postgres: a user who may use sudo runs the test through it, as the
# test command's own installation steps do.
if [ "$(id -u)" -ne 0 ]; then
    exec sudo --preserve-env=QUIL_BUILD,QUIL_KEEP bash "$0" "$@"
fi
if ! command -v pg_createcluster >/dev/null || ! id postgres >/dev/null 2>&1; then
    echo "missing Debian's postgresql (pg_createcluster): run scripts/setup.sh test" >&2
    exit 1
fi
if [ ! -x "$build/quil-tool" ] || [ ! -x "$build/src/web/quil-web" ]; then
    echo "missing $build/quil-tool or $build/src/web/quil-web: build the tree first" >&2
    exit 1
fi
pgver=$(pg_lsclusters -h 2>/dev/null | awk '{print $1}' | sort -V | tail -1)
[ -n "$pgver" ] || pgver=$(ls /usr/lib/postgresql | sort -V | tail -1)
cluster=quilguide$$
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
work=$(mktemp -d)
chmod 755 "$work"
made_user=""
cleanup() {
    pg_dropcluster --stop "$pgver" "$cluster" >/dev/null 2>&1 || true
    # What the guide added to the cluster's folder (pg_dropcluster keeps files it did not make).
    rm -rf "/etc/postgresql/$pgver/$cluster"
    [ -z "$made_user" ] || userdel quil-web >/dev/null 2>&1 || true
    [ -n "${QUIL_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# The programs as the packages install them; the service's user as its postinst makes it.
DESTDIR=$work/stage cmake --install "$build" --prefix /usr >/dev/null
if ! getent passwd quil-web >/dev/null; then
    adduser --system --group --quiet --no-create-home --home /nonexistent quil-web
    made_user=1
fi
conf=$work/quil-web.conf
cp data/quil-web.conf "$conf"
chgrp quil-web "$conf"
chmod 640 "$conf"
pg_createcluster --locale C.UTF-8 -p "$port" "$pgver" "$cluster" >/dev/null
pg_ctlcluster "$pgver" "$cluster" start

# The guide's blocks, in order.
script=$work/guide.sh
python3 - docs/admin-guide.md "$script" "$pgver" "$cluster" "$port" "$conf" <<'EOF'
import re, sys
guide, out, pgver, cluster, port, conf = sys.argv[1:]
values = {"PGVER": pgver, "PGCLUSTER": cluster, "PGPORT": port, "SERVER_ADDRESS": "127.0.0.2",
          "OFFICE_NET": "127.0.0.0/8", "QUILWEB_CONF": conf}
lines = open(guide, encoding="utf-8").read().split("\n")
blocks, skipped, i, previous = [], 0, 0, ""
while i < len(lines):
    if lines[i] == "```sh":
        j = lines.index("```", i + 1)
        if previous == "<!-- 検査では実行しない -->":
            skipped += 1
            # The certificate's copy to the office PC (a USB stick): a plain copy instead.
            if any("root.crt" in line for line in lines[i + 1:j]):
                blocks.append(['mkdir -p ~/.postgresql && cp "$PGCONF/quil-server.crt" ~/.postgresql/root.crt'])
        else:
            blocks.append(lines[i + 1:j])
        i, previous = j + 1, ""
        continue
    if lines[i].strip():
        previous = lines[i].strip()
    i += 1
replaced = set()
for block in blocks:
    for n, line in enumerate(block):
        m = re.match(r"([A-Z_]+)=(\S+)(\s.*)?$", line)
        if m and m.group(1) in values:
            block[n] = f"{m.group(1)}={values[m.group(1)]}{m.group(3) or ''}"
            replaced.add(m.group(1))
assert replaced == set(values), f"the guide does not set {set(values) - replaced}"
with open(out, "w", encoding="utf-8") as f:
    f.write("set -euo pipefail\n")
    # sudo as root: -u runs the command as that user, keeping the PATH.
    f.write('sudo() { if [ "$1" = -u ]; then local u=$2; shift 2; runuser -u "$u" -- "$@"; '
            'else "$@"; fi; }\n')
    for block in blocks:
        f.write("\n".join(block) + "\n")
print(f"{len(blocks)} blocks to run, {skipped} left out", file=sys.stderr)
EOF

admin=$work/admin
mkdir -p "$admin" "$work/office"
chmod 755 "$admin"
echo 'ガイドの試験用 pass 8 文字以上' >"$admin/password.txt"
started=$(date +%s)
status=0
pgconf=/etc/postgresql/$pgver/$cluster
(cd "$admin" && env HOME="$work/office" PATH="$work/stage/usr/bin:$PATH" LANG=C.UTF-8 \
    bash "$script" <"$admin/password.txt" >"$work/guide.log" 2>&1) || status=$?
failed=0
if [ "$status" -ne 0 ]; then
    echo "FAIL the guide's commands stopped with status $status:" >&2
    tail -n 30 "$work/guide.log" >&2
    failed=1
fi
# What the guide's steps must have left: the peer line above Debian's own, the office line,
# and a data set whose administrator reaches it over TLS with a verified certificate.
hba=$pgconf/pg_hba.conf
peer=$(grep -n '^local[[:space:]]\+quil[[:space:]]\+quil_web_service[[:space:]]\+peer map=quil' "$hba" | cut -d: -f1 | head -1)
debian=$(grep -n '^local[[:space:]]\+all[[:space:]]\+all[[:space:]]\+peer' "$hba" | cut -d: -f1 | head -1)
if [ -z "$peer" ] || [ -z "$debian" ] || [ "$peer" -ge "$debian" ]; then
    echo "FAIL the service's peer line is not above Debian's local all all peer" >&2
    failed=1
fi
if ! grep -qx "役割: 管理者" "$work/guide.log"; then
    echo "FAIL the office PC's administrator did not reach the data set (server status)" >&2
    failed=1
fi
if ! grep -q "^quil-web: .* の設定に問題はありません。$" "$work/guide.log"; then
    echo "FAIL quil-web --check-config did not pass as the service's user" >&2
    failed=1
fi
if ! env HOME="$work/office" PATH="$work/stage/usr/bin:$PATH" \
        psql "service=quil" -Atc 'SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()' 2>&1 |
        grep -qx t; then
    echo "FAIL the office PC's connection is not encrypted" >&2
    failed=1
fi
echo "guide followed in $(( $(date +%s) - started )) s"
[ "$failed" -eq 0 ] && echo "the guide's commands work in the order written"
exit "$failed"
