#!/usr/bin/env bash
# End to end: SIGTERM, SIGINT and SIGHUP stop OV Calc as the setup server's shutdown command
# does: the shutdown is announced to its clients (ovclient watch notes it), the configuration
# is written, the instance locks are released and the status is 0.
#   stop_signals.sh BIN EXAMPLES
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
BIN=$1 EXAMPLES=$2
e2e_start stop-signals

for signal in TERM INT HUP; do
  dir="$RUN/$signal"
  make_portable "$BIN" "$dir" "$EXAMPLES"
  cd "$dir"
  # Marks the configuration as the run found it: the shutdown writes it anew.
  touch -d '2000-01-01' OVCalc.OVG
  ./ovcalc 2>calc.err &
  calc=$!
  wait_for 30 grep -q "Calculation thread started." calc.err || fail "$signal: no thread"
  ./ovclient watch >/dev/null 2>watch.err &
  watch=$!
  wait_for 10 ./ovclient get TIMETAG || fail "$signal: OV Calc does not answer"
  sleep 0.3
  ls "$XDG_RUNTIME_DIR"/OVCalc*.lock >/dev/null 2>&1 || fail "$signal: no instance lock"

  kill -s "$signal" "$calc"
  status=0
  wait_for 15 eval '! alive $calc' || fail "$signal: OV Calc did not end"
  wait "$calc" || status=$?
  ((status == 0)) || fail "$signal: status $status"
  grep -q "Shutdown command received (SIG$signal)" calc.err || fail "$signal: no status line"
  wait_for 5 grep -q "announced its shutdown" watch.err || fail "$signal: no announcement"
  (($(stat -c %Y OVCalc.OVG) > 946684800)) || fail "$signal: the configuration was not written"
  grep -q '^\[Windows Settings\]' OVCalc.OVG || fail "$signal: no window placement written"
  if ls "$XDG_RUNTIME_DIR"/OVCalc*.lock >/dev/null 2>&1; then
    fail "$signal: lock files left: $(ls "$XDG_RUNTIME_DIR")"
  fi
  ./ovsetup --quit || true
  wait "$watch" 2>/dev/null || true
  say "SIG$signal: announced, configuration written, locks released, status 0"
  cd "$RUN"
done
