#!/usr/bin/env bash
# Runs the file-start benchmark of BUILD_DIR: prints file_start_ms= (median), p90 and max.
# Usage: run.sh BUILD_DIR [MP3]
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [MP3]}
shift
exec "$build/bench/file-start/file-start" "$@"
