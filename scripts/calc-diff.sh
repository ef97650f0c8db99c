#!/usr/bin/env bash
# The compiled equations against the reading evaluation on many random equations: builds the
# calculator's tests and runs their differential test on CASES cases (default 10^6; the normal
# test run has 10^4), starting at seed SEED (default 1). Prints the number of calculations
# compared, how many gave a value and how many an error, and the differences (0 expected);
# exit status 1 when there is one, each shown with its seed and equation.
#   scripts/calc-diff.sh [CASES] [SEED]
set -euo pipefail
cd "$(dirname "$0")/.."

CASES=${1:-1000000}
SEED=${2:-1}
BUILD=${OV_BUILD_DIR:-build/release}

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target test_calc
OV_CALC_DIFF_CASES=$CASES OV_CALC_DIFF_SEED=$SEED \
  "$BUILD/tests/test_calc" --gtest_filter=CompiledEquation.SameAsReadingForRandomEquations \
  --gtest_brief=1
