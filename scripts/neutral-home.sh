#!/usr/bin/env bash
# Runs a command in a mount namespace of its own where /home holds only a fresh user folder,
# /home/user, on a file system of its own (a folder dialog's "drive"). Screenshots taken
# this way show that folder and its few ordinary folders, nothing of the computer they were
# taken on. The namespace ends with the command; nothing outside it changes.
# Usage: scripts/neutral-home.sh COMMAND [ARGS...]
set -euo pipefail
if [ "${QUIL_NEUTRAL_HOME:-}" != inside ]; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(--map-root-user)
    exec env QUIL_NEUTRAL_HOME=inside unshare --mount --propagation private "${as_root[@]}" "$0" "$@"
fi
mount -t tmpfs -o size=16m,mode=755 tmpfs /home
mkdir /home/user
mount -t tmpfs -o size=16m,mode=755 tmpfs /home/user
mkdir -p /home/user/Documents /home/user/Desktop /home/user/バックアップ /home/user/書類
export HOME=/home/user XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_RUNTIME_DIR=
exec "$@"
