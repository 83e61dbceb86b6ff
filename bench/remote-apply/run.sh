#!/usr/bin/env bash
# Runs the remote-apply benchmark of BUILD_DIR in a folder of TMPDIR (the program folder's
# disk matters: each file is flushed before its rename).
# Usage: run.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR}
exec "$build/bench/remote-apply/remote-apply"
