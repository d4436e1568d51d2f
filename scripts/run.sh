#!/usr/bin/env bash
# Installs what building and running Tovrel needs, builds the program and runs it.
#
#   scripts/run.sh [-- ARGS...]
#
# With an X display that answers, Tovrel runs there (ARGS passed on). Without one, ARGS go to Tovrel
# all the same (it answers --help, --version and --diagnose without a display, and says why it
# cannot run otherwise); with no ARGS a private headless desktop shows it working instead: the live
# self-test works every mode of the real program against its fixture application by keyboard and
# pointer, prints one line per check and the report's path, and its status is the run's.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [[ $# -gt 0 ]]; then
  if [[ $1 != -- ]]; then
    echo "usage: scripts/run.sh [-- ARGS...]" >&2
    exit 2
  fi
  shift
fi

scripts/setup.sh run

readonly build=$PWD/build/default
cmake --preset default >/dev/null
cmake --build --preset default --target tovrel tovrel-fixture

if [[ $# -gt 0 ]] || { [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; }; then
  exec "$build/app/tovrel" "$@"
fi

echo "No X display answers${DISPLAY:+ on $DISPLAY}: running Tovrel's live self-test in a private headless desktop."
exec scripts/selftest.sh default
