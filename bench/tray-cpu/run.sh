#!/usr/bin/env bash
# The cost of a day in the tray: the whole program started with the session (autostart entry
# present), activated by itself and minimised to the notification area, playing the station,
# measured for TRAY_SECONDS (60 by default) beside its bare engine (sonaris-play) and mpv on the
# same stream at the same time. Prints sonaris_cpu_s, engine_cpu_s, mpv_cpu_s, tray_ratio
# (program / mpv), sonaris_rss_mb and sonaris_wakeups_per_s (all its threads' sleeps per second).
# TRAY_MUSIC=FILE puts TRAY_MUSIC_COUNT (200) links to FILE in its music folder, whose
# measuring then runs through the window (bench/loudness-scan). TRAY_FLEET=1 gives the shop a broker on this
# machine and REMOTO=1 in FROTA.INI, for the cost of being reachable from the office. Runs in a network namespace of its own, so the station's
# fixed address 127.0.0.1:9500 is private.
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh BUILD_DIR}
exec "$here/../../tests/e2e/run_in_netns.sh" /usr/bin/python3 "$here/tray_cpu.py" --sonaris "$build/sonaris" \
  --engine "$build/audio/sonaris-play" --seconds "${TRAY_SECONDS:-60}" \
  ${TRAY_FLEET:+--fleet} ${TRAY_MUSIC:+--music "$TRAY_MUSIC" --music-count "${TRAY_MUSIC_COUNT:-200}"}
