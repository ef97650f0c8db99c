#!/usr/bin/env bash
# Runs the libFuzzer targets to a number of executions each, one target at a time, for a long
# run on an otherwise idle machine, and prints a table: target, executions, coverage and
# features (from libFuzzer's last status line), findings (crash-*, leak-*, timeout-*, oom-*
# files) and seconds.
#   scripts/fuzz-long.sh [RUNS] [TARGET ...]   RUNS: executions per target (default 10000000);
#                                              targets as for scripts/fuzz.sh (default: all)
#   OV_FUZZ_INI_RUNS=N   the ini target's executions (default RUNS / 10): each of its runs
#                        writes its file, replaces it as the program does (temporary file,
#                        fsync, rename, fsync of the folder) and reads it back, which makes it
#                        the slowest target by far, several times slower than the next; in a
#                        folder on disk rather than in memory the fsyncs slow it five times
#                        more
#   OV_FUZZ_WORK=DIR     where each target's new corpus entries, findings and log go (default
#                        build/fuzz-long/<target>/: corpus/, findings/, run.log)
#   OV_FUZZ_TIMEOUT=S    what counts as a hang (default 1 s)
# The readers that take a file get it in TMPDIR, the memory folder /dev/shm when TMPDIR is not
# set. The seed corpus (fuzz/corpus/<target>/) is read and never written. Exits 1 when any
# target found something; each finding belongs in the unit tests as a regression case.
set -euo pipefail
cd "$(dirname "$0")/.."

RUNS=${1:-10000000}
shift || true
if ! [[ $RUNS =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz-long.sh: RUNS must be a positive whole number, not '$RUNS'" >&2
  exit 2
fi
TARGETS=("$@")
if ((${#TARGETS[@]} == 0)); then
  TARGETS=(calc scan format ini table itemchange setupsettings timetag dde replay bridgein)
fi
INI_RUNS=${OV_FUZZ_INI_RUNS:-$((RUNS >= 10 ? RUNS / 10 : 1))}
WORK=${OV_FUZZ_WORK:-$PWD/build/fuzz-long}
BUILD=build/fuzz

scripts/install-deps.sh
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Fuzz \
  -DOV_BUILD_FUZZ=ON -DOV_BUILD_QT=OFF -DOV_BUILD_TESTS=OFF -DOV_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target "${TARGETS[@]/#/fuzz_}"

if [[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then export TMPDIR=/dev/shm; fi
# As scripts/fuzz.sh: a small quarantine and short allocation stacks.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=5}

rows=()
found=0
row() { printf '%-14s %12s %8s %9s %9s %9s\n' "$@"; }
for t in "${TARGETS[@]}"; do
  dir="$WORK/$t"
  mkdir -p "$dir/corpus" "$dir/findings"
  log="$dir/run.log"
  runs=$RUNS
  if [[ $t == ini ]]; then runs=$INI_RUNS; fi
  touch "$dir/.started"
  start=$(date +%s)
  status=0
  "$BUILD/fuzz/fuzz_$t" -runs="$runs" -timeout="${OV_FUZZ_TIMEOUT:-1}" -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/findings/" "$dir/corpus" "fuzz/corpus/$t" \
    >"$log" 2>&1 || status=$?
  seconds=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+[[:space:]]' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  findings=$(find "$dir/findings" -type f -newer "$dir/.started" \
    \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  rows+=("$(row "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$findings" "$seconds")")
  echo "${rows[-1]}"
  if ((status != 0 || findings != 0)); then
    found=1
    grep -E 'property failed|ERROR:|SUMMARY:|runtime error|Test unit written' "$log" | head -20 || true
    echo "  (whole log: $log)"
  fi
done

echo
row target executions cov features findings seconds
printf '%s\n' "${rows[@]}"
exit "$found"
