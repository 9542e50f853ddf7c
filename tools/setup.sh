#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; a second run
# finds them all present and does nothing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

packages=(
  cmake make python3
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 wine libgnutls30
  xvfb xauth x11-apps x11-utils imagemagick fonts-dejavu-core
  googletest strace e2fsprogs openssl
  squid nginx curl
  chromium firefox-esr
)
# Node runs the companion extension's tests; a machine with a Node of its
# own keeps that one.
command -v node >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo=sudo
  $sudo apt-get update
  # Without --no-install-recommends apt pulls in fonts-wine, whose Tahoma
  # draws Vietnamese letters as boxes.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The browser tests' driver (puppeteer-core, pinned by the lock file; it
# drives the Debian browsers and never downloads one). Installed again only
# when the lock file changed.
browser_tests="$root/tests/browser"
if [[ ! "$browser_tests/node_modules/.package-lock.json" -nt "$browser_tests/package-lock.json" ]]; then
  (cd "$browser_tests" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund)
fi
