#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: the normal build, then
# the AddressSanitizer+UBSan build and the ThreadSanitizer build, then a Clang build of every
# library and program that holds a lock (its lock annotations checked), then every fuzz target
# for 20 s on its seed corpus (a parser that now crashes, leaks or hangs on one of them shows
# up at once).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

JOBS=$(nproc)
run_suite() {
  local dir=$1 type=$2; shift 2
  echo "=== ${type} build (${dir}) ==="
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  ctest --test-dir "$dir" --output-on-failure -j "$JOBS" --timeout 600
}

# ThreadSanitizer cannot map its shadow memory with the kernel's widest address-space
# randomisation; narrowing it is harmless for tests.
if [[ -r /proc/sys/vm/mmap_rnd_bits ]] && (( $(cat /proc/sys/vm/mmap_rnd_bits) > 28 )); then
  if [[ $(id -u) -eq 0 ]]; then sysctl -q -w vm.mmap_rnd_bits=28 || true; fi
fi

# The bus tests start a private dbus-daemon per test process (never a bus they did not start),
# and the Qt parts are in all three builds. Qt, libdbus and GLib are not built with
# ThreadSanitizer, so their internal hand-overs between threads are suppressed; our own code
# stays checked.
run_suite build/release RelWithDebInfo
run_suite build/asan AsanUbsan -DOV_BUILD_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan-qt.supp ${TSAN_OPTIONS:-}" \
  run_suite build/tsan Tsan -DOV_BUILD_BENCH=OFF
# Clang's thread-safety analysis, an error in every Clang build: ovcalc's libraries (the engine,
# the bus side, the application) and ovfeed. The fuzz build below checks the engine again.
echo "=== Clang lock check (build/clang) ==="
cmake -S . -B build/clang -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DOV_BUILD_TESTS=OFF -DOV_BUILD_BENCH=OFF >/dev/null
cmake --build build/clang -j "$JOBS" --target ov_app ovfeed
scripts/fuzz.sh 20
