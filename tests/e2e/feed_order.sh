#!/usr/bin/env bash
# End to end: whichever starts first, ovfeed or ovcalc, no line of the feed is lost. With the
# feed first, its lines wait until OV Calc has linked the decoder and calculates; with OV Calc
# first, OV Calc connects the decoder as soon as its name appears on the bus (long before the
# 30-second reconnect timer), and the records come within a few seconds.
#   feed_order.sh BIN EXAMPLES
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
BIN=$1 EXAMPLES=$2
e2e_start feed-order
RECORDS=$(grep -c . "$EXAMPLES/expected.txt")

run_case() {
  local order=$1 dir="$RUN/$1"
  make_portable "$BIN" "$dir" "$EXAMPLES"
  ln -s "$EXAMPLES" "$dir/examples"  # the feed
  cd "$dir"
  local calc feed watch started
  if [[ $order == feed-first ]]; then
    ./ovfeed --as decoder examples/feed.txt >feed.out 2>feed.err &
    feed=$!
    wait_for 10 name_has_owner OVDecode.OVDecodeCom || fail "$order: ovfeed did not start"
    sleep 0.5
  fi
  ./ovcalc 2>calc.err &
  calc=$!
  ./ovclient watch --wait 30 --count "$RECORDS" >records.txt 2>watch.err &
  watch=$!
  if [[ $order == calc-first ]]; then
    wait_for 30 grep -q "Calculation thread started." calc.err || fail "$order: no thread"
    # The watch is linked before the feed starts: its link is answered before anything else.
    wait_for 10 ./ovclient get TIMETAG || fail "$order: OV Calc does not answer"
    started=$SECONDS
    ./ovfeed --as decoder examples/feed.txt >feed.out 2>feed.err &
    feed=$!
  fi
  wait_for 40 eval '! alive $watch' || fail "$order: only $(grep -c . records.txt) records"
  diff -u "$EXAMPLES/expected.txt" records.txt || fail "$order: the records differ"
  if [[ $order == calc-first ]] && ((SECONDS - started > 20)); then
    fail "$order: the source was connected only by the reconnect timer"
  fi
  # Started first, the feed waits (OV Calc started first may link it before its first line).
  if [[ $order == feed-first ]]; then
    grep -q "waiting for a client" feed.err || fail "$order: ovfeed did not note its wait"
  fi
  ./ovsetup --shutdown
  wait_for 15 eval '! alive $calc' || fail "$order: OV Calc did not end"
  ./ovsetup --quit || true
  wait "$feed" || fail "$order: ovfeed failed: $(cat feed.err)"
  say "$order: all $RECORDS records"
  cd "$RUN"
  no_clients() { [[ -z $(bus_clients) ]]; }
  wait_for 10 no_clients || fail "$order: programs still running"
}

run_case feed-first
run_case calc-first
