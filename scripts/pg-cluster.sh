#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests.
# Usage: scripts/pg-cluster.sh start STATEFILE
#        scripts/pg-cluster.sh stop STATEFILE
#        scripts/pg-cluster.sh halt|resume STATEFILE
#
# start: initdb in a new temporary folder (as an unprivileged user when run as root), then
# pg_ctl start with no TCP listener: the only way in is the Unix socket in that folder
# (port 5432, superuser quil_test, trust authentication). STATEFILE gets the folder, one line.
# A cluster still running from an earlier start with the same STATEFILE is stopped first.
# stop: stops the cluster named in STATEFILE and removes its folder and STATEFILE; does
# nothing, quietly, when there is nothing to stop.
# halt: stops the server of the cluster at once, as a crash would (pg_ctl stop -m immediate),
# keeping its folder; resume: starts it again on the same folder and socket (the tests of a
# server restarting while clients run).
set -euo pipefail

readonly PG_USER_NAME=quil-pgtest
readonly SUPERUSER=quil_test
readonly PORT=5432
readonly DIR_PREFIX=quil-pg.

die() { echo "pg-cluster: $*" >&2; exit 1; }

usage() { die "usage: $0 start|stop|halt|resume STATEFILE"; }

# The folder holding initdb, pg_ctl and postgres: pg_config's when it has them (libpq-dev's
# pg_config may belong to a client-only version), else the newest Debian server version.
find_bindir() {
  local dir
  if command -v pg_config >/dev/null 2>&1; then
    dir=$(pg_config --bindir 2>/dev/null || true)
    if [ -n "$dir" ] && [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ]; then
      echo "$dir"; return 0
    fi
  fi
  dir=$(printf '%s\n' /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
  if [ -n "$dir" ] && [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ]; then
    echo "$dir"; return 0
  fi
  die "no PostgreSQL server programs found (initdb, pg_ctl); run scripts/setup.sh test"
}

# The account that owns and runs the cluster. PostgreSQL refuses to run as root, so root
# hands the cluster to a system account made for it (or nobody when one cannot be made).
cluster_user() {
  if [ "$(id -u)" -ne 0 ]; then
    id -un; return 0
  fi
  if ! id -u "$PG_USER_NAME" >/dev/null 2>&1; then
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
      "$PG_USER_NAME" >/dev/null 2>&1 || true
  fi
  if id -u "$PG_USER_NAME" >/dev/null 2>&1; then echo "$PG_USER_NAME"; else echo nobody; fi
}

# Runs a command as the given account (directly when that is the current one).
as_user() {
  local user=$1; shift
  if [ "$user" = "$(id -un)" ]; then
    "$@"
  elif command -v runuser >/dev/null 2>&1; then
    runuser -u "$user" -- "$@"
  else
    setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups -- "$@"
  fi
}

# A folder this script made: refuse anything else before removing it.
is_cluster_dir() {
  local dir=$1
  case "$(basename -- "$dir")" in
    "$DIR_PREFIX"??????) ;;
    *) return 1 ;;
  esac
  [ -d "$dir" ] && [ ! -L "$dir" ]
}

# Stops the cluster in DIR (if it runs) and removes DIR.
stop_dir() {
  local dir=$1
  if ! is_cluster_dir "$dir"; then
    echo "pg-cluster: $dir is not a cluster folder of this script; left alone" >&2
    return 0
  fi
  local data=$dir/data
  if [ -f "$data/postmaster.pid" ]; then
    local owner bindir pid
    owner=$(stat -c %U "$data")
    bindir=$(find_bindir)
    if ! as_user "$owner" "$bindir/pg_ctl" stop -D "$data" -m fast -w -t 30 >/dev/null 2>&1; then
      as_user "$owner" "$bindir/pg_ctl" stop -D "$data" -m immediate -w -t 30 >/dev/null 2>&1 || true
    fi
    # Whatever still holds the folder after that is killed outright.
    if [ -f "$data/postmaster.pid" ]; then
      pid=$(head -n 1 "$data/postmaster.pid" 2>/dev/null || true)
      if [[ "$pid" =~ ^[0-9]+$ ]] && kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid" 2>/dev/null || true
        sleep 1
      fi
    fi
  fi
  rm -rf -- "$dir"
}

# A new folder in BASE owned by USER, its path on stdout; nothing left behind on failure.
# The test programs (root or not) need to reach the socket in it, hence 0711; the data
# folder inside stays 0700.
new_cluster_dir() {
  local base=$1 user=$2 dir
  dir=$(mktemp -d "$base/${DIR_PREFIX}XXXXXX" 2>/dev/null) || return 1
  if chown "$user" "$dir" && chmod 0711 "$dir" && as_user "$user" test -w "$dir"; then
    echo "$dir"
  else
    rm -rf -- "$dir"
    return 1
  fi
}

stop_cluster() {
  local state=$1 dir
  [ -f "$state" ] || return 0
  dir=$(head -n 1 "$state" || true)
  if [ -n "$dir" ] && [ -e "$dir" ]; then
    stop_dir "$dir"
  fi
  rm -f -- "$state"
}

start_cluster() {
  local state=$1
  stop_cluster "$state"

  local bindir user base dir
  bindir=$(find_bindir)
  user=$(cluster_user)

  # Unix socket paths are limited to about 107 bytes: a long TMPDIR falls back to /tmp, as
  # does one the cluster's account cannot reach (a folder under /root, say).
  base=${TMPDIR:-/tmp}
  if [ ${#base} -gt 80 ] || [ ! -d "$base" ]; then base=/tmp; fi
  dir=$(new_cluster_dir "$base" "$user") ||
    { [ "$base" != /tmp ] && dir=$(new_cluster_dir /tmp "$user"); } ||
    die "cannot make a temporary folder that $user can use in $base or /tmp"
  # Written at once, so that a stop cleans up even after a start that was cut short.
  mkdir -p -- "$(dirname -- "$state")"
  echo "$dir" >"$state"

  fail() {
    echo "pg-cluster: $*" >&2
    if [ -f "$dir/server.log" ]; then
      echo "pg-cluster: the server's log:" >&2
      tail -n 30 "$dir/server.log" >&2 || true
    fi
    stop_cluster "$state"
    exit 1
  }

  local locale=C
  if locale -a 2>/dev/null | grep -qiE '^c\.utf-?8$'; then locale=C.UTF-8; fi

  as_user "$user" "$bindir/initdb" -D "$dir/data" -U "$SUPERUSER" --auth=trust -E UTF8 \
    --locale="$locale" --no-instructions >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; fail "initdb failed"; }

  as_user "$user" tee -a "$dir/data/postgresql.conf" >/dev/null <<EOF

# Throwaway test cluster: no TCP, the socket in its own folder, speed over durability.
listen_addresses = ''
unix_socket_directories = '$dir'
port = $PORT
fsync = off
max_connections = 300
shared_buffers = 64MB
EOF

  as_user "$user" "$bindir/pg_ctl" start -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    >/dev/null 2>&1 || fail "the server did not start"

  if [ -x "$bindir/pg_isready" ]; then
    "$bindir/pg_isready" -q -h "$dir" -p "$PORT" -U "$SUPERUSER" -d postgres ||
      fail "the server started but does not answer on $dir"
  fi
  echo "pg-cluster: running in $dir (socket only, port $PORT, user $SUPERUSER)"
}

# The data folder of the cluster named in STATEFILE, checked.
cluster_data() {
  local state=$1 dir
  [ -f "$state" ] || die "no cluster state in $state"
  dir=$(head -n 1 "$state" || true)
  is_cluster_dir "$dir" && [ -d "$dir/data" ] || die "$state names no cluster folder"
  echo "$dir/data"
}

halt_cluster() {
  local data owner
  data=$(cluster_data "$1")
  owner=$(stat -c %U "$data")
  as_user "$owner" "$(find_bindir)/pg_ctl" stop -D "$data" -m immediate -w -t 30 >/dev/null ||
    die "the server did not stop"
}

resume_cluster() {
  local data owner
  data=$(cluster_data "$1")
  owner=$(stat -c %U "$data")
  as_user "$owner" "$(find_bindir)/pg_ctl" start -D "$data" -l "$(dirname -- "$data")/server.log" \
    -w -t 60 >/dev/null || die "the server did not start again"
}

[ $# -eq 2 ] || usage
case "$1" in
  start) start_cluster "$2" ;;
  stop) stop_cluster "$2" ;;
  halt) halt_cluster "$2" ;;
  resume) resume_cluster "$2" ;;
  *) usage ;;
esac
