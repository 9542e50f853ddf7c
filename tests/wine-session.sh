#!/usr/bin/env bash
# Test-run fixture: "start <build>" creates the build's Wine prefix once
# (keeping a pristine copy for tests that need a world of their own), keeps
# one wineserver alive for the run and starts Xvfb when there is no display;
# "stop <build>" ends both.
set -uo pipefail
# Each step checks what matters itself; a failing helper must not end the
# run silently.
action="$1"
build="$(cd "$2" && pwd)"
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
pristine="$build/wineprefix.pristine"

start_xvfb() {
  [[ -n "${DISPLAY:-}" ]] && return 0
  mkdir -p "$build/xvfb"
  if [[ -s "$build/xvfb/pid" ]] && kill -0 "$(cat "$build/xvfb/pid")" 2>/dev/null; then
    return 0
  fi
  local n
  for n in $(seq 91 140); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >"$build/xvfb/log" 2>&1 &
    echo $! >"$build/xvfb/pid"
    for _ in $(seq 50); do
      [[ -e /tmp/.X11-unix/X$n ]] && { echo ":$n" >"$build/xvfb/display"; return 0; }
      sleep 0.1
    done
    kill "$(cat "$build/xvfb/pid")" 2>/dev/null || true
  done
  echo "wine-session: could not start Xvfb" >&2
  return 1
}

# Wine links the user's Desktop, Documents, Downloads... to the Linux home.
# Tests download into those folders, so they become real folders inside
# the prefix: nothing a test writes may land outside the build folder.
unlink_user_folders() {
  local link
  for link in "$1"/drive_c/users/*/*; do
    if [[ -L "$link" ]]; then
      rm -f "$link" && mkdir -p "$link"
    fi
  done
}

case "$action" in
  start)
    if [[ ! -f "$pristine/system.reg" ]]; then
      # wineboot's exit status is not a reliable verdict on a fresh machine;
      # the prefix is judged by its registry files, with one more try.
      for attempt in 1 2; do
        rm -rf "$WINEPREFIX" "$pristine"
        wineboot -i >"$build/wineboot.log" 2>&1 || true
        wineserver -w || true
        [[ -f "$WINEPREFIX/system.reg" && -f "$WINEPREFIX/user.reg" ]] && break
        echo "wine-session: prefix creation attempt $attempt failed" >&2
        tail -20 "$build/wineboot.log" >&2 || true
      done
      [[ -f "$WINEPREFIX/system.reg" ]] || exit 1
      unlink_user_folders "$WINEPREFIX"
      # No window manager runs here: Wine would wait 2 s at every window it
      # hides for a manager to withdraw it. Unmanaged windows skip the wait.
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
      wineserver -w || true
      cp -a "$WINEPREFIX" "$pristine" || { echo "wine-session: could not copy the prefix" >&2; exit 1; }
    elif [[ ! -f "$WINEPREFIX/system.reg" ]]; then
      cp -a "$pristine" "$WINEPREFIX" || { echo "wine-session: could not copy the prefix" >&2; exit 1; }
    fi
    unlink_user_folders "$WINEPREFIX"
    unlink_user_folders "$pristine"
    # The display comes first: the desktop process that the first Wine
    # process starts keeps the display it was given, and one started
    # without any lets no window be created for the rest of the run.
    start_xvfb
    [[ -z "${DISPLAY:-}" && -s "$build/xvfb/display" ]] && export DISPLAY="$(cat "$build/xvfb/display")"
    # The persistent server spares every test process the server start.
    (wineserver -p >/dev/null 2>&1 &) || true
    # The first Wine process starts the prefix's services (services.exe,
    # winedevice, ...), which inherit its standard handles and live as long
    # as the server. Start them here with no pipes, or they would hold a
    # test's output pipe open and ctest would wait forever.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    if [[ -s "$build/xvfb/pid" ]]; then
      kill "$(cat "$build/xvfb/pid")" 2>/dev/null || true
      rm -f "$build/xvfb/pid" "$build/xvfb/display"
    fi
    ;;
  *) echo "usage: $0 start|stop <build>" >&2; exit 2 ;;
esac
