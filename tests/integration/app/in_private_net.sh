#!/usr/bin/env bash
# Runs a test in a network namespace of its own, where 127.0.0.1:9500 (the station's fixed
# address) belongs to the test alone. Without the privileges for a namespace the test runs as
# it is and skips itself when the port is taken.
set -euo pipefail
if [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
  exec unshare -n bash -c 'ip link set lo up && exec "$@"' bash "$@"
fi
exec "$@"
