#!/usr/bin/env bash
# A chain's broker under thousands of shops: a local Mosquitto (MQTT and websockets, serving
# the fleet page), FLEET_SHOPS simulated shops in one process (fleet-shops; "1000 5000" by
# default, one run each) and the fleet page in headless Chromium with every shop's row. Prints,
# per run, the broker's CPU and resident memory, the messages through it, the time from a
# shop's change to its row on the page, and the time for a shop whose process died or whose
# line went dead to show offline. FLEET_SECONDS (60) is the measuring window. Then one version of
# the office's settings pushed from the page to every shop, which apply it as the player does: the
# time until the last answers "aplicada" and the broker's CPU meanwhile; and the page's memory,
# FLEET_PAGE_MINUTES (3) after the push. Runs in a network
# namespace of its own when it can: Mosquitto 2.0's websockets listener takes every interface.
set -euo pipefail
export LC_ALL=C.UTF-8
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh BUILD_DIR}
# Every shop is a socket at both ends, and libmosquitto keeps a pair more per client.
ulimit -n "$(ulimit -Hn)"
exec "$here/../../tests/e2e/run_in_netns.sh" /usr/bin/python3 "$here/fleet_bench.py" \
  --shops-program "$build/bench/fleet/fleet-shops" --page "$here/../../fleet" \
  --seconds "${FLEET_SECONDS:-60}" --page-minutes "${FLEET_PAGE_MINUTES:-3}" ${FLEET_SHOPS:-1000 5000}
