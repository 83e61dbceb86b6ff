#!/usr/bin/env bash
# Runs a command in a network namespace of its own, where 127.0.0.1:9500 (the station's fixed
# address) is private to it. Without the privileges for that, runs it as it is.
set -euo pipefail
if [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
  exec unshare -n bash -c 'ip link set lo up && exec "$@"' bash "$@"
fi
exec "$@"
