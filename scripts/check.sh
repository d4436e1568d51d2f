#!/usr/bin/env bash
# Installs what is missing, the applications the tests drive included, then configures, builds and
# tests the default and the sanitizer builds: unit tests, desktop tests and the live self-test.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/setup.sh

echo "== formatting"
git ls-files -z -- '*.cpp' '*.hpp' | xargs -0 -r clang-format --dry-run -Werror

for preset in default sanitize; do
  echo "== ${preset} build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -LE desktop
  echo "== ${preset} desktop tests"
  scripts/desktop.sh run -- ctest --preset "$preset" -L desktop
  echo "== ${preset} live self-test"
  scripts/selftest.sh "$preset"
done
