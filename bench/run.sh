#!/usr/bin/env bash
# Prints the engine's figures beside real references measured in the same
# run: nginx on loopback, a bare WinHTTP loop and curl. Not a test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"
missing=()
for p in nginx squid curl; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
"$root/tools/build.sh" >/dev/null
"$root/tests/wine-session.sh" start "$root/build"
trap '"$root/tests/wine-session.sh" stop "$root/build"' EXIT
python3 "$root/bench/queue.py"
python3 "$root/bench/bench.py" "$@"
python3 "$root/bench/proxy.py"
python3 "$root/bench/verify.py"
python3 "$root/bench/segments.py"
python3 "$root/bench/ceiling.py"
python3 "$root/bench/get.py"
python3 "$root/bench/rowlimit.py"
python3 "$root/bench/labproxy.py"
python3 "$root/bench/labcache.py"
python3 "$root/bench/mirrors.py"
TW_BUILD="$root/build" python3 "$root/bench/idle.py"
TW_BUILD="$root/build" python3 "$root/bench/answer.py"
