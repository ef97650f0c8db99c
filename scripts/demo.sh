#!/usr/bin/env bash
# The demo: OV Calc on the example station network (examples/), on a private session bus.
# Installs what is missing, builds every program (ovcalc, ovsetup, ovfeed, ovclient, ovtool, in
# build/demo/bin), starts the decoder stand-in (ovfeed), OV Calc (which starts its setup server
# ovsetup), follows the published results with `ovclient watch`, feeds examples/feed.txt,
# compares the records with examples/expected.txt and ends everything with the setup server's
# shutdown event. Exit status 0 when the records match.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
export LC_ALL=C
BUILD="$ROOT/build/demo"

say() { printf '[demo] %s\n' "$*"; }

bash scripts/install-deps.sh
say "building (Release, $BUILD)"
mkdir -p "$BUILD"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOV_BUILD_TESTS=OFF \
      -DOV_BUILD_BENCH=OFF > "$BUILD/cmake.log" 2>&1 || { cat "$BUILD/cmake.log"; exit 1; }
cmake --build "$BUILD" -j2
say "the programs are in $BUILD/bin"

# The scenario itself, shared with the end-to-end test (tests/e2e/example_scenario.sh).
exec bash scripts/run-example.sh --label demo "$BUILD/bin/ovcalc" "$BUILD/bin/ovsetup" \
  "$BUILD/bin/ovfeed" "$BUILD/bin/ovclient" examples
