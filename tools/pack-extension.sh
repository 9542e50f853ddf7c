#!/usr/bin/env bash
# Packs the companion browser extension into the build folder:
#   tools/pack-extension.sh [out folder]     (default: build/extension)
# chromium/ and firefox/ to load unpacked, a .zip for Chromium-family
# browsers and an unsigned .xpi for Firefox.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
python3 "$root/tools/pack_extension.py" "$root/extension" "${1:-$root/build/extension}"
