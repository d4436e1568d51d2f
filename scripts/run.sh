#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it.
#
#   scripts/run.sh [-- ARGS...]
#
# With an X display that answers, Tovrel runs there (ARGS passed on). Without one, a private
# headless desktop shows it working instead: the program and its fixture are started in
# scripts/desktop.sh, the three modes are worked by keyboard, each mode's result is printed and a
# picture of the click labels is kept; the status is the demonstration's.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [[ $# -gt 0 ]]; then
  if [[ $1 != -- ]]; then
    echo "usage: scripts/run.sh [-- ARGS...]" >&2
    exit 2
  fi
  shift
fi

scripts/setup.sh

readonly build=$PWD/build/default
cmake --preset default >/dev/null
cmake --build --preset default --target tovrel tovrel-fixture tovrel-run-demo

if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
  exec "$build/app/tovrel" "$@"
fi

echo "No X display answers${DISPLAY:+ on $DISPLAY}: showing Tovrel in a private headless desktop."
screenshot=$build/artifacts/run-demo.png
rm -f "$screenshot"
status=0
scripts/desktop.sh run -- "$build/tests/desktop/tovrel-run-demo" \
  --tovrel "$build/app/tovrel" --fixture "$build/fixture/tovrel-fixture" \
  --screenshot "$screenshot" || status=$?
if [[ -f $screenshot ]]; then
  echo "Screenshot of the click labels: $screenshot"
fi
exit "$status"
