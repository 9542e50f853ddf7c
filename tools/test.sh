#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Wine
# (Xvfb is started when there is no display). Safe to run again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"
"$root/tools/build.sh"
cd "$root/build"
# As many tests at once as this machine has cores: a fixed count overloads a
# small machine, and the Wine tests' waits then run out.
ctest --output-on-failure -j"$(nproc)" "$@"
