#!/usr/bin/env bash
# End to end: the replay scenario (tests/e2e/replay/: current, time-tagged, satellite and
# multiple-station groups) through a live OV Calc, fed by ovfeed as the RTU poller on a private
# bus, and through ovtool replay of the same files: the same records. Those of the groups
# calculated at once come in the same order; the deferred ones come when their delay has
# passed, after seconds of the wall clock live and of the data's time in the replay.
#   replay_live.sh BIN SCENARIO EXAMPLES
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
BIN=$(cd "$1" && pwd) SCENARIO=$(cd "$2" && pwd) EXAMPLES=$(cd "$3" && pwd)
e2e_start replay-live

dir=$RUN/portable
mkdir -p "$dir"
cp "$BIN/ovcalc" "$BIN/ovsetup" "$BIN/ovfeed" "$BIN/ovclient" "$BIN/ovtool" "$dir/"
cp "$SCENARIO/OVCalc.OVG" "$SCENARIO/OVSetup.ini" "$dir/"
cp -r "$EXAMPLES/tables" "$dir/"
cd "$dir"

# The replay reads the configuration and the settings beside it, as OV Calc and ovsetup do.
status=0
./ovtool replay --as rtu "$SCENARIO/feed.txt" >replay.txt 2>replay.err || status=$?
((status == 0)) || fail "ovtool replay ended with status $status: $(cat replay.err)"
records=$(grep -c . replay.txt) || true
((records > 20)) || fail "the replay gave only $records records"
grep -q "^ovtool replay: 21 lines read, $records records, 0 calculation errors, 0 input errors" \
  replay.err || fail "the replay's summary: $(tail -n 1 replay.err)"

./ovcalc 2>calc.err &
calc=$!
wait_for 30 grep -q "Calculation thread started." calc.err || fail "OV Calc did not start its thread"
./ovclient watch --wait 30 --count "$records" >live.txt 2>watch.err &
watch=$!
# The watch is linked before the feed starts: its link is answered before anything else.
wait_for 10 ./ovclient get TIMETAG || fail "OV Calc does not answer"
./ovfeed --as rtu "$SCENARIO/feed.txt" >feed.out 2>feed.err &
feed=$!
wait_for 60 eval '! alive $watch' || fail "only $(grep -c . live.txt) of $records records arrived live"
wait "$feed" || fail "ovfeed failed: $(cat feed.err)"

diff -u <(sort replay.txt) <(sort live.txt) || fail "the replay's records differ from the live ones"
deferred=',MET[12]\.TA,'
diff -u <(grep -v "$deferred" replay.txt) <(grep -v "$deferred" live.txt) ||
  fail "the records calculated at once come in another order"
grep -q "$deferred" replay.txt || fail "no deferred record in the scenario"

./ovsetup --shutdown
wait_for 15 eval '! alive $calc' || fail "OV Calc did not end"
./ovsetup --quit || true
say "the replay and the live OV Calc gave the same $records records"
