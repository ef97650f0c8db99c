#!/usr/bin/env bash
# End to end: the session bus goes away (its dbus-daemon killed) under a running ovcalc and
# ovsetup. OV Calc says so in its status lines (on standard error), stops its calculation
# thread, writes its configuration and ends with status 1; ovsetup says so and ends.
#   bus_loss.sh BIN EXAMPLES
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
BIN=$1 EXAMPLES=$2
e2e_start bus-loss

dir="$RUN/app"
make_portable "$BIN" "$dir" "$EXAMPLES"
cd "$dir"
# Marks the configuration as the run found it: the shutdown writes it anew.
touch -d '2000-01-01' OVCalc.OVG
./ovsetup OVSetup.ini 2>setup.err &
setup=$!
wait_for 10 name_has_owner OVSetup.Applications || fail "no setup server: $(cat setup.err)"
./ovcalc 2>calc.err &
calc=$!
wait_for 30 grep -q "Calculation thread started." calc.err || fail "no calculation thread"
./ovclient alive >/dev/null || fail "OV Calc does not answer"

kill -KILL "$BUS_PID"
wait_for 15 eval '! alive $calc' || fail "OV Calc still runs without a bus: $(cat calc.err)"
status=0
wait "$calc" || status=$?
((status == 1)) || fail "OV Calc ended with status $status"
grep -q "Error 1600: The session bus has gone away" calc.err || fail "not said: $(cat calc.err)"
grep -q "Calcuation thread stopped." calc.err || fail "the thread was not stopped"
(($(stat -c %Y OVCalc.OVG) > 946684800)) || fail "the configuration was not written"
grep -q '^\[CalcGroup:1\]' OVCalc.OVG || fail "the configuration lost its groups"
say "OV Calc: said, thread stopped, configuration written, status 1"

wait_for 10 eval '! alive $setup' || fail "ovsetup still runs without a bus"
status=0
wait "$setup" || status=$?
((status == 1)) || fail "ovsetup ended with status $status"
grep -q "ovsetup: the session bus has gone away" setup.err || fail "ovsetup: $(cat setup.err)"
say "ovsetup: said, status 1"
