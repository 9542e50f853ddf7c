#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tidewell PE under Wine with
# the given links (Xvfb is started when there is no display).
#   tools/run.sh https://example.com/file.iso ...
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"
"$root/tools/build.sh" >/dev/null
build="$root/build"
"$root/tests/wine-session.sh" start "$build"
trap '"$root/tests/wine-session.sh" stop "$build"' EXIT
set +e
"$build/wine-run" "$build/tidewell.exe" "$@"
code=$?
set -e
exit $code
