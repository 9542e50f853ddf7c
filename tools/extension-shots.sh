#!/usr/bin/env bash
# Saves pictures of the companion extension's options page (Chromium,
# light and dark, English and Vietnamese) into build/shots/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh" >/dev/null
"$root/tools/pack-extension.sh" >/dev/null
mkdir -p "$root/build/shots"
for lang in en vi; do
  node "$root/tools/options-shots.mjs" "$root/build/extension/chromium" "$root/build/shots" "$lang"
done
ls "$root/build/shots"/options-*.png
