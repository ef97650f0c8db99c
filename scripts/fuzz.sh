#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan) and runs each for SECONDS
# (default 180) on its seed corpus in fuzz/corpus/<target>/. New corpus entries and whatever a
# run finds (crash-*, leak-*, timeout-*, oom-*) go to a scratch folder, never the repository:
# OV_FUZZ_WORK (default build/fuzz-work)/<target>/ (corpus/, findings/). An input taking over
# 1 s counts as a hang.
#   scripts/fuzz.sh [SECONDS] [TARGET ...]     targets: calc scan format ini table itemchange
#                                              setupsettings timetag dde replay bridgein
#                                              (default: all)
#   OV_FUZZ_RUNS=N   also stop a target after N executions
#   OV_FUZZ_TIMEOUT=S  what counts as a hang (default 1 s; the limit is wall-clock time, so a
#                      machine busy with other work may need more)
# Prints one line per target (executions, coverage, features, corpus size, findings) and exits
# 1 when any target found something; each finding belongs in the unit tests as a regression case.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH=${1:-180}
shift || true
TARGETS=("$@")
if ((${#TARGETS[@]} == 0)); then
  TARGETS=(calc scan format ini table itemchange setupsettings timetag dde replay bridgein)
fi
WORK=${OV_FUZZ_WORK:-$PWD/build/fuzz-work}
BUILD=build/fuzz

scripts/install-deps.sh
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Fuzz \
  -DOV_BUILD_FUZZ=ON -DOV_BUILD_QT=OFF -DOV_BUILD_TESTS=OFF -DOV_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target "${TARGETS[@]/#/fuzz_}"

# The readers that take a file get it in a private folder; in memory where there is room.
if [[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then export TMPDIR=/dev/shm; fi

# A small quarantine and short allocation stacks: a third faster on the readers that allocate
# for every line, and each input's freed memory is still caught when touched again.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=5}

found=0
failed_targets=()
for t in "${TARGETS[@]}"; do
  dir="$WORK/$t"
  mkdir -p "$dir/corpus" "$dir/findings"
  log="$dir/last-run.log"
  args=(-max_total_time="$SECONDS_EACH" -timeout="${OV_FUZZ_TIMEOUT:-1}" -rss_limit_mb=2048
        -print_final_stats=1 -artifact_prefix="$dir/findings/")
  if [[ -n ${OV_FUZZ_RUNS:-} ]]; then args+=(-runs="$OV_FUZZ_RUNS"); fi
  touch "$dir/.started"
  status=0
  "$BUILD/fuzz/fuzz_$t" "${args[@]}" "$dir/corpus" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+[[:space:]]' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9A-Za-z]*\).*/\1/p' <<<"$last")
  findings=$(find "$dir/findings" -type f -newer "$dir/.started" | wc -l)
  printf 'fuzz %-14s execs %-10s cov %-6s ft %-6s corpus %-12s findings %s exit %s\n' \
    "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$findings" "$status"
  if ((status != 0 || findings != 0)); then
    found=1
    failed_targets+=("$t")
    grep -E 'ERROR:|SUMMARY:|runtime error|Test unit written' "$log" | head -20 || true
    echo "  (whole log: $log)"
  fi
done
echo "fuzz: $((${#TARGETS[@]} - ${#failed_targets[@]})) passed, ${#failed_targets[@]} failed"
exit "$found"
