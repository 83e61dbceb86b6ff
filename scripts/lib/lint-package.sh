#!/usr/bin/env bash
# Debian's own checks of a built package: the AppStream metainfo must validate, and lintian
# must report no error and no warning (its informational tags are shown, and pass).
#   scripts/lib/lint-package.sh build/sonaris-v1_VERSION_ARCH.deb
# Used by scripts/package and by the package's end-to-end test, so CI holds the package to it.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
deb=$1
appstreamcli validate --no-net "$top"/packaging/*.metainfo.xml
# lintian, run as root, says it would rather not be: true, and of no consequence for a check
# that only reads the package.
lintian --fail-on error,warning --display-info "$deb" 2> >(grep -v "running with root privileges" >&2)
echo "lintian: no error, no warning"
