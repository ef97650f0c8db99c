#!/usr/bin/env bash
# End to end: the setup server killed (SIGKILL) in the middle of a feed. OV Calc says so at
# once, starts it again without stopping its calculations and says when it is back; every
# record of the feed is published, each with the attributes the setup server serves (none
# taken as 0 while the server was away). Then the setup server stopped (SIGSTOP) for longer
# than a call's time-out in the middle of a second feed and let go on (SIGCONT): said, waited
# for, every record right again. A setup server that cannot be started again is said to be
# so, and OV Calc goes on running. A failure names the records missing, wrong or doubled.
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
# One feed a day: stage i at minute i of the day, so that the records are told apart by their
# time tags.
for day in 08 09; do
  for ((i = 0; i < LINES; i++)); do
    printf '$REALTIME 12/%s/2026 %02d:%02d:00,GAUGE.HG,%d\n' "$day" $((i / 60)) $((i % 60)) "$i"
  done >"feed$day.txt"
done

# The records of day $1 published so far.
records_of() { grep -c "^12/$1/2026 " records.txt || true; }
# Names each record of day $1 that is missing, wrong or published twice (by stage and time
# tag, the first ten of each); fails when there is one.
check_records() {
  grep "^12/$1/2026 " records.txt | awk -F, -v lines="$LINES" '
    function add(list, n, text) { return n <= 10 ? list text : list }
    { split($1, t, /[ :]/); i = t[2] * 60 + t[3]; seen[i]++
      if ($3 != i + 1100) { nw++; wrong = add(wrong, nw, sprintf(" %d (%s)", i, $0)) } }
    END {
      for (i = 0; i < lines; i++) {
        if (!seen[i]) { nm++; missing = add(missing, nm, sprintf(" %d (%02d:%02d)", i, i / 60, i % 60)) }
        else if (seen[i] > 1) { nt++; twice = add(twice, nt, " " i) }
      }
      if (nm + nw + nt == 0) { print "every record right"; exit 0 }
      if (nm) printf "%d missing:%s; ", nm, missing
      if (nw) printf "%d wrong:%s; ", nw, wrong
      if (nt) printf "%d twice:%s; ", nt, twice
      printf "%d published\n", NR
      exit 1
    }'
}
status_lines() { grep -i 'error\|setup server\|ZI Zodav' calc.err | head -8; }

# Feeds day $1's lines; once $2 of its records are out, $3 is done to the setup server.
feed_and_check() {
  local day=$1 after=$2 action=$3 feed setup
  ./ovfeed --as rtu --rate 80 "feed$day.txt" >"feed$day.out" 2>"feed$day.err" &
  feed=$!
  # With most of the feed still to come.
  wait_for 20 eval '(($(records_of $day) >= after))' || fail "no records: $(cat calc.err)"
  setup=$(bus_pid OVSetup.Applications)
  [[ -n $setup ]] || fail "no setup server"
  say "setup server $setup: $action after $(records_of "$day") records of day $day"
  $action "$setup"
  wait "$feed" || fail "ovfeed failed: $(cat "feed$day.err")"
  wait_for 60 eval '(($(records_of $day) >= LINES))' ||
    fail "only $(records_of "$day") of $LINES records of day $day; $(check_records "$day")" \
      "status: $(status_lines)"
  # Every record with its attributes: stage + 100 + 1000.
  check_records "$day" >/dev/null || fail "$(check_records "$day")" "status: $(status_lines)"
}
stop_for_5s() { kill -STOP "$1"; sleep 5; kill -CONT "$1"; }

./ovcalc 2>calc.err &
calc=$!
wait_for 30 grep -q "Calculation thread started." calc.err || fail "no calculation thread"
./ovclient watch >records.txt 2>watch.err &
watch=$!
# The watch follows the records before the first of them is published: the probe value it
# prints shows its link in force (OV Calc announces only to linked clients).
linked() { ./ovclient set TIMETAG probe && sleep 0.2 && grep -qx probe records.txt; }
wait_for 20 linked || fail "the watch does not follow the records: $(cat watch.err)"

feed_and_check 08 40 "kill -KILL"
grep -q "The setup server ZI Zodav has ended. Starting it again.." calc.err ||
  fail "the loss was not said: $(cat calc.err)"
grep -q "The setup server ZI Zodav is running again." calc.err || fail "the return was not said"
name_has_owner OVSetup.Applications || fail "no setup server after the restart"
say "$LINES records, each with its shift and offset; the restart said in the status list"

# The feed that ended without its shutdown command is connected again at its next start.
grep -q "RO Did ended without its shutdown command" calc.err || fail "the feed's end was not said"
feed_and_check 09 40 stop_for_5s
grep -q "The setup server ZI Zodav does not answer. Calculations wait for it.." calc.err ||
  fail "the silence was not said: $(status_lines)"
grep -q "The setup server ZI Zodav answers again." calc.err || fail "the answer was not said"
! grep -q "Error 1602" calc.err || fail "records were not computed: $(status_lines)"
say "$LINES records after a silence of 5 s, each with its shift and offset; both said"

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
