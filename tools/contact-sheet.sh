#!/usr/bin/env bash
# Builds the toolkit's contact sheet and saves it as a PNG: every icon at
# 16-48 px and every button kind and state, at 96 and 144 DPI, in both
# themes and languages, as drawn by the real code under Wine.
#
#   tools/contact-sheet.sh [output.png]   (default: build/contact-sheet.png)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build.sh" >/dev/null
out="${1:-$root/build/contact-sheet.png}"
started=0
if [[ ! -s "$root/build/xvfb/display" && -z "${DISPLAY:-}" ]]; then
  "$root/tests/wine-session.sh" start "$root/build" >/dev/null
  started=1
fi
bmp="$root/build/contact-sheet.bmp"
"$root/build/wine-run" "$root/build/tools/tw_contact_sheet.exe" "Z:${bmp//\//\\}"
convert-im6.q16 "bmp:$bmp" "png:$out"
rm -f "$bmp"
((started)) && "$root/tests/wine-session.sh" stop "$root/build"
echo "$out"
