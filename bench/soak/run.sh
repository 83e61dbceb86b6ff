#!/usr/bin/env bash
# Soak: the player activated against a station whose source is killed and restarted at random
# intervals (SOAK_SECONDS, 600 by default). Runs in a network namespace of its own so the
# station's fixed address 127.0.0.1:9500 is private.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh BUILD_DIR}
exec "$here/../../tests/e2e/run_in_netns.sh" /usr/bin/python3 "$here/soak.py" --sonaris "$build/sonaris" \
  --seconds "${SOAK_SECONDS:-600}"
