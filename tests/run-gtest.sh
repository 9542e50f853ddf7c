#!/usr/bin/env bash
# Runs one GoogleTest program of this build under Wine for ctest.
# A start that ends within two seconds with a failure and without a word
# from the program is Wine failing to start it (seen once on a CI machine:
# 0.02 s, no output), not a verdict on the tests: it is reported with what
# can be seen of it and tried once more.
set -uo pipefail
emulator="$1"; shift
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
for attempt in 1 2; do
  start=$(date +%s%N)
  "$emulator" "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  if [[ $rc -eq 0 || -s "$log" || $ms -ge 2000 || $attempt -eq 2 ]]; then
    [[ $rc -ne 0 && ! -s "$log" ]] && echo "run-gtest: exit $rc after $ms ms with no output" >&2
    exit "$rc"
  fi
  echo "run-gtest: start $attempt ended with exit $rc after $ms ms and no output;" \
       "$(ls -l "$1" 2>&1); wineserver: $(pgrep -c wineserver) running; trying again" >&2
  sleep 1
done
