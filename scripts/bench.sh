#!/usr/bin/env bash
# Builds the benchmarks optimised and prints each decision's median and 99th percentile against
# its budget. Extra arguments go to the benchmark program (e.g. --benchmark_filter=Click).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/setup.sh
cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/bench/tovrel-engine-bench --benchmark_min_time=0.5 "$@"
echo "== key latency through the real tap (private desktop)"
scripts/desktop.sh run -- build/bench/bench/tovrel-tap-bench "$@"
echo "== discovery over the accessibility bus (private desktop)"
scripts/desktop.sh run -- build/bench/bench/tovrel-discovery-bench "$@"
echo "== the navigation service: per-event cost, gesture to labels, idle CPU (private desktop)"
scripts/desktop.sh run -- build/bench/bench/tovrel-service-bench "$@"
echo "== the program: launch to settings window, idle memory and CPU (private desktop)"
scripts/desktop.sh run -- build/bench/bench/tovrel-app-bench "$@"
