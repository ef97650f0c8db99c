#!/usr/bin/env bash
# The lock annotations, checked: every shared field is marked OV_GUARDED_BY and every lock is a
# TMutex taken through its lock types (util/Mutex.h), which Clang's thread-safety analysis
# sees (an error in every Clang build: the fuzz build and scripts/test.sh's Clang build compile
# the real sources with it). Here, in seconds:
#   - no std::mutex or std lock type and no "guarded by" comment in src/ and tools/: a lock the
#     analysis cannot see is a lock it does not check;
#   - cases on a small fixture, compiled with clang++ -Wthread-safety -Werror=thread-safety:
#     each use with the lock held must compile, each use without it must fail with the error
#     named (so the analysis is really on and the annotations really mean something);
#   - the same cases with g++ -Werror, where the annotations are nothing: all compile cleanly.
#
#   tests/thread_safety_check.sh [ROOT]    exit 77 (skipped) when clang++ is not installed
set -euo pipefail
ROOT=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$ROOT"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
status=0

# ---- Locks the analysis cannot see -----------------------------------------------------------
while IFS= read -r hit; do
  echo "$hit: a lock Clang cannot check: use TMutex and TLockGuard/TUniqueLock (util/Mutex.h)"
  status=1
done < <(grep -rnE --include='*.h' --include='*.cpp' --include='*.hpp' --include='*.cc' \
           'std::(mutex|recursive_mutex|timed_mutex|shared_mutex|lock_guard|unique_lock|scoped_lock|shared_lock)\b' \
           src tools | grep -v '^src/util/Mutex\.h:' || true)
while IFS= read -r hit; do
  echo "$hit: a lock written as a comment: annotate the field OV_GUARDED_BY(lock)"
  status=1
done < <(grep -rniE --include='*.h' --include='*.cpp' '//.*guarded by' src tools || true)

# ---- The analysis on a fixture -----------------------------------------------------------------
if ! command -v clang++ >/dev/null; then
  echo "thread_safety_check: clang++ is not installed (scripts/install-deps.sh): skipped"
  exit 77
fi
# The cases, each a member function of a fixture with a shared value, its lock and a condition
# variable, in one file; clang++ reads it once, and each case's diagnostics are those on its line.
mapfile -t ROWS < <(grep -v -e '^#' -e '^$' <<'ROWS'
# With the lock held.
- :: TLockGuard held(lock); value = 1;
- :: TLockGuard held(lock); Held(); { TUnlockGuard unlocked(lock); } value = 2;
- :: TUniqueLock held(lock); value = 1; held.Unlock(); held.Lock(); value = 2;
- :: TUniqueLock held(lock); changed.wait_for(held.Native(), std::chrono::milliseconds(1), [this]() OV_REQUIRES(lock) { return value > 0; }); value = 3;

# Without it.
writing variable 'value' requires holding mutex 'lock' exclusively :: value = 1;
reading variable 'value' requires holding mutex 'lock' :: const int v = value; (void)v;
calling function 'Held' requires holding mutex 'lock' exclusively :: Held();
writing variable 'value' requires holding mutex 'lock' exclusively :: TUniqueLock held(lock); held.Unlock(); value = 1;
writing variable 'value' requires holding mutex 'lock' exclusively :: TLockGuard held(lock); { TUnlockGuard unlocked(lock); value = 1; }
reading variable 'value' requires holding mutex 'lock' :: TUniqueLock held(lock); changed.wait(held.Native(), [this] { return value > 0; });
acquiring mutex 'lock' that is already held :: TLockGuard held(lock); TLockGuard again(lock);
ROWS
)
FILE=$WORK/cases.cpp
{
  printf '%s\n' '#include <chrono>' '#include <condition_variable>' '' '#include "util/Mutex.h"' '' \
    'namespace ov {' 'struct TShared {' '    TMutex lock;' '    std::condition_variable changed;' \
    '    int value OV_GUARDED_BY(lock) = 0;' '    void Held() OV_REQUIRES(lock) { value = 1; }'
  for i in "${!ROWS[@]}"; do echo "    void Case$i();"; done
  echo '};'
} >"$FILE"
declare -A LINE_OF
for i in "${!ROWS[@]}"; do
  LINE_OF[$i]=$(($(wc -l <"$FILE") + 1))
  echo "void TShared::Case$i() { ${ROWS[i]#* :: } }" >>"$FILE"
done
echo '}  // namespace ov' >>"$FILE"

compile() {  # compile COMPILER FLAGS...: the diagnostics on standard output
  local cxx=$1
  shift
  "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -I src "$@" "$FILE" 2>&1 || true
}
out=$(compile clang++ -fno-caret-diagnostics -Wthread-safety -Werror=thread-safety)
for i in "${!ROWS[@]}"; do
  expect=${ROWS[i]%% :: *}
  body=${ROWS[i]#* :: }
  here=$(grep -E "^$FILE:${LINE_OF[$i]}:[0-9]+: (error|warning)" <<<"$out" || true)
  if [[ $expect == - ]]; then
    if [[ -n $here ]]; then
      echo "must compile, does not: $body"
      sed 's/^/  /' <<<"$here"
      status=1
    fi
  elif ! grep -qF -- "$expect" <<<"$here"; then
    echo "must fail with \"$expect\": $body"
    sed 's/^/  /' <<<"${here:-(no error on its line)}"
    status=1
  fi
done
if grep -vE "^$FILE:[0-9]+:[0-9]+: (error|note)|^[0-9]+ errors? generated" <<<"$out" | grep -q .; then
  echo "clang++ says more than the cases:"
  sed 's/^/  /' <<<"$out"
  status=1
fi
# Under g++ the annotations are nothing: every case is plain, clean C++ there.
if command -v g++ >/dev/null; then
  out=$(compile g++ -Werror)
  if [[ -n $out ]]; then
    echo "g++ does not take the annotated code cleanly:"
    sed 's/^/  /' <<<"$out"
    status=1
  fi
fi
if ((status == 0)); then
  echo "thread_safety_check: every lock annotated, and Clang fails on a field used without it"
fi
exit $status
