#!/usr/bin/env bash
# End to end: the setup server killed (SIGKILL) in the middle of a feed. OV Calc says so at
# once, starts it again without stopping its calculations and says when it is back; every
# record of the feed is published, each with the attributes the setup server serves (none
# taken as 0 while the server was away). A setup server that cannot be started again is said
# to be so, and OV Calc goes on running.
#   setup_restart.sh BIN
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
BIN=$1
e2e_start setup-restart

LINES=400
dir="$RUN/app"
mkdir -p "$dir"
cp "$BIN/ovcalc" "$BIN/ovsetup" "$BIN/ovfeed" "$BIN/ovclient" "$dir/"
cd "$dir"
# One group whose result is the stage plus the gauge's shift and offset from the setup server,
# so that a record calculated without them shows at once.
cat >OVCalc.OVG <<'EOF'
[Calc]
LogDetail=0
GroupNames=CalcGroup:1

[CalcGroup:1]
CGIndex=1
FuncName=H + SHIFT(H) + OFFSET(H)
Enabled=1
MultiStations=0
Filter=
OutputStation=GAUGE
OutputSensor=Q
VariablesName=H
VariablesValue=HG
SimilarStations=
MultiVariablesName=
MultiVariablesValue=
MultiVariablesTrigger=-1
EOF
cat >OVSetup.ini <<'EOF'
[General]
RtuEnabled=True
[DataServer]
StorageOption=10
[Params]
Sensor:GAUGE:HG,Shift=100
Sensor:GAUGE:HG,Offset=1000
EOF
# Stage i at minute i of the day: the records are told apart by their time tags.
for ((i = 0; i < LINES; i++)); do
  printf '$REALTIME 12/08/2026 %02d:%02d:00,GAUGE.HG,%d\n' $((i / 60)) $((i % 60)) "$i"
done >feed.txt

./ovcalc 2>calc.err &
calc=$!
wait_for 30 grep -q "Calculation thread started." calc.err || fail "no calculation thread"
./ovclient watch --count "$LINES" >records.txt 2>watch.err &
watch=$!
wait_for 10 ./ovclient get TIMETAG || fail "OV Calc does not answer"
./ovfeed --as rtu --rate 80 feed.txt >feed.out 2>feed.err &
feed=$!

# The kill comes once records flow, with most of the feed still to come.
wait_for 20 eval '(($(wc -l <records.txt) >= 40))' || fail "no records: $(cat calc.err)"
setup=$(bus_pid OVSetup.Applications)
[[ -n $setup ]] || fail "no setup server"
kill -KILL "$setup"
say "setup server $setup killed after $(wc -l <records.txt) records"

wait "$feed" || fail "ovfeed failed: $(cat feed.err)"
wait_for 40 eval '! alive $watch' ||
  fail "only $(wc -l <records.txt) of $LINES records; status: $(grep -i 'error\|setup server' calc.err | head -5)"
wait "$watch" || fail "ovclient watch failed: $(cat watch.err)"

# Every record with its attributes: stage + 100 + 1000.
awk -F, -v lines="$LINES" '
  { split($1, t, /[ :]/); i = t[2] * 60 + t[3]; if ($3 != i + 1100) bad++; seen[i]++ }
  END {
    for (i = 0; i < lines; i++) if (seen[i] != 1) missing++
    if (bad || missing || NR != lines) { printf "%d wrong, %d missing of %d\n", bad, missing, NR; exit 1 }
  }' records.txt || fail "records: $(grep -v ',1[0-9][0-9][0-9]$' records.txt | head -3)" \
  "status: $(grep -i 'error\|setup server' calc.err | head -5)"
grep -q "The setup server ZI Zodav has ended. Starting it again.." calc.err ||
  fail "the loss was not said: $(cat calc.err)"
grep -q "The setup server ZI Zodav is running again." calc.err || fail "the return was not said"
name_has_owner OVSetup.Applications || fail "no setup server after the restart"
say "$LINES records, each with its shift and offset; the restart said in the status list"

# A setup server that cannot be started again: said, and OV Calc goes on.
mv ovsetup ovsetup.real
printf '#!/bin/sh\necho "the setup server is broken" >&2\nexit 3\n' >ovsetup
chmod +x ovsetup
kill -KILL "$(bus_pid OVSetup.Applications)"
wait_for 20 grep -q "could not be started again" calc.err || fail "the failure was not said"
grep -q 'Error 4: An instance of the "OVSetup.Applications"' calc.err || fail "no Error 4"
./ovclient alive >/dev/null || fail "OV Calc does not answer after the failed restart"
say "a restart that fails is said; OV Calc goes on"

kill -TERM "$calc"
wait_for 15 eval '! alive $calc' || fail "OV Calc did not end"
