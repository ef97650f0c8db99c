#!/usr/bin/env bash
# Builds the benchmarks in an optimised build and prints their figures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DOV_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j "$(nproc)" --target ovbench
build/bench/bench/ovbench --benchmark_counters_tabular=true "$@"
