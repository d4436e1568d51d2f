#!/usr/bin/env bash
# Runs the live self-test of one build inside a private headless desktop: the program and its
# fixture application are started there, every check prints one line, and both reports are kept in
# build/<preset>/artifacts/selftest/. The status is the run's: 0 only when every check passed.
#
#   scripts/selftest.sh [PRESET]     (default: default; the build must exist)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

readonly preset=${1:-default}
readonly build=$PWD/build/$preset
for program in "$build/app/tovrel" "$build/fixture/tovrel-fixture"; do
  [[ -x $program ]] || { echo "selftest: $program is not built" >&2; exit 2; }
done

readonly reports=$build/artifacts/selftest
rm -rf "$reports"
mkdir -p "$reports"
scripts/desktop.sh run -- "$build/app/tovrel" --self-test "$reports" \
  --fixture "$build/fixture/tovrel-fixture"
