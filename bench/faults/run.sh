#!/usr/bin/env bash
# Fault soak: the whole program through FAULTS_SECONDS (1800 by default) of bad days, with every
# kind of fault FAULTS_PER_KIND times (4) at random moments of a fixed seed (FAULTS_SEED, 1).
# Prints name=value lines: faults_injected; per kind faults_<kind>, recover_s_<kind>_median and
# _max (from the fault to sound again in the recording); silent_s_inside_window (silence inside
# an open window beyond each fault's own time and the specified hand-overs); closes_expected,
# closes_done (the close's history line, then silence until the next window); day_summaries;
# rss (and its anonymous part, rss_anon), fds and threads from the end of a warm-up to the end; alive; boxes_open_end. The fault
# log goes to stderr. Runs in a network namespace of its own, where the station's fixed address
# 127.0.0.1:9500 is private.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh BUILD_DIR}
exec "$here/../../tests/e2e/run_in_netns.sh" /usr/bin/python3 "$here/faults.py" --sonaris "$build/sonaris" \
  --clock-shift "$build/bench/faults/wallclock_shift.so" --seconds "${FAULTS_SECONDS:-1800}" \
  --per-kind "${FAULTS_PER_KIND:-4}" --seed "${FAULTS_SEED:-1}" ${FAULTS_HEAPTRACK:+--heaptrack "$FAULTS_HEAPTRACK"}
