#!/usr/bin/env bash
# The loudness measurement's cost: the folder measured beside a player (loudness-scan, see its
# source), then the whole program in the tray playing the station (bench/tray-cpu) without a
# music folder to measure and with LOUDNESS_FILES (200) MP3 files of 3 minutes to measure.
# The tray figures come prefixed tray_without_ and tray_with_.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh BUILD_DIR}
"$build/bench/loudness-scan/loudness-scan"
mp3=$(mktemp --suffix=.mp3)
trap 'rm -f "$mp3"' EXIT
ffmpeg -nostdin -y -loglevel error -f lavfi -i "anoisesrc=d=180:c=pink:r=44100:a=0.2,aformat=channel_layouts=stereo" \
  -c:a libmp3lame -b:a 192k "$mp3"
"$here/../tray-cpu/run.sh" "$build" | sed 's/^/tray_without_/'
TRAY_MUSIC="$mp3" TRAY_MUSIC_COUNT="${LOUDNESS_FILES:-200}" "$here/../tray-cpu/run.sh" "$build" | sed 's/^/tray_with_/'
