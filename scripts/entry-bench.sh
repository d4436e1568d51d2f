#!/usr/bin/env bash
# Times click mode's entry (the gesture to labels on screen) in real applications of every
# toolkit, for this tree and for earlier commits side by side in one private desktop, the builds
# alternated application by application, and prints each one's first entry after the application
# started, the median of the later ones, and the share of each stage.
#
#   scripts/entry-bench.sh [--rounds N] [--apps 'A|B'] [REF...]
#
# Each REF (a commit) is built under build/entry/ with today's service benchmark, which times
# any build the same way (a build from before the stage trace reports no stages).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

rounds=2
apps='fixture|GTK 3|geany|gnome-text-editor|nautilus|FeatherPad|Firefox|Chromium'
refs=()
while [[ $# -gt 0 ]]; do
  case $1 in
    --rounds) rounds=$2; shift ;;
    --apps) apps=$2; shift ;;
    --inside) shift; inside=1; break ;;
    *) refs+=("$1") ;;
  esac
  shift
done

if [[ ${inside:-0} == 1 ]]; then
  # Inside the desktop: "$1" is the results file, the rest label=binary pairs.
  results=$1
  shift
  IFS='|' read -r -a names <<<"$apps"
  for ((round = 0; round < rounds; ++round)); do
    for name in "${names[@]}"; do
      builds=("$@")
      # Every other round the other build goes first.
      if ((round % 2 == 1)); then
        reversed=()
        for ((i = ${#builds[@]} - 1; i >= 0; --i)); do reversed+=("${builds[i]}"); done
        builds=("${reversed[@]}")
      fi
      for build in "${builds[@]}"; do
        label=${build%%=*}
        binary=${build#*=}
        echo "entry-bench: round $((round + 1)), $name, $label" >&2
        "$binary" "--benchmark_filter=^GestureToLabels/$name/" 2>/dev/null |
          awk -v label="$label" '/^ENTRY\t/ { print label "\t" $0 }' >>"$results" || true
      done
    done
  done
  exit 0
fi

scripts/setup.sh
binaries=()
cmake --preset bench >/dev/null
cmake --build --preset bench -j 4 --target tovrel-service-bench
binaries+=("this tree=$PWD/build/bench/bench/tovrel-service-bench")
for ref in "${refs[@]}"; do
  commit=$(git rev-parse --short "$ref")
  dir=build/entry/$commit
  if [[ ! -d $dir/src ]]; then
    mkdir -p "$dir/src"
    git archive "$commit" | tar -x -C "$dir/src"
  fi
  cp bench/ServiceBench.cpp bench/BenchChild.hpp "$dir/src/bench/"
  if [[ ! -f $dir/src/core/StageTrace.cpp ]]; then
    cp core/StageTrace.hpp core/StageTrace.cpp "$dir/src/core/"
    sed -i 's/^  ScrollSession.cpp$/  ScrollSession.cpp\n  StageTrace.cpp/' "$dir/src/core/CMakeLists.txt"
  fi
  cmake -S "$dir/src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOVREL_BUILD_TESTS=OFF -DTOVREL_BUILD_BENCH=ON >/dev/null
  cmake --build "$dir/build" -j 4 --target tovrel-service-bench
  binaries+=("$ref=$PWD/$dir/build/bench/tovrel-service-bench")
done

# Kept beside the builds, for a closer look at each run.
results=$PWD/build/entry/results.tsv
mkdir -p build/entry
: >"$results"
scripts/desktop.sh run -- "$0" --rounds "$rounds" --apps "$apps" --inside "$results" "${binaries[@]}"
/usr/bin/python3 bench/entry_table.py "$results"
