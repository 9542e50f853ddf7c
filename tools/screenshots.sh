#!/usr/bin/env bash
# Saves screenshots of the real windows under Xvfb (see tools/screenshots.py).
#   tools/screenshots.sh [output folder]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build.sh" >/dev/null
"$root/tests/wine-session.sh" start "$root/build" >/dev/null
trap '"$root/tests/wine-session.sh" stop "$root/build"' EXIT
TW_BUILD="$root/build" python3 "$root/tools/screenshots.py" "$@"
