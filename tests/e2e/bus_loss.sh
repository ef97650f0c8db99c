#!/usr/bin/env bash
# End to end: the session bus goes away (its dbus-daemon killed) under a running ovcalc and
# ovsetup, in the middle of a feed. OV Calc says so once in its status lines (on standard
# error), stops its calculation thread, writes its configuration and ends with status 1;
# ovsetup says so and ends. Nothing else is blamed: no setup server being started again, no
# setup server's line given as the reason it ended. The same when the bus goes away early,
# while OV Calc waits for the setup server it started.
# So does every companion program waiting on the bus: ovclient following an item and waiting
# for OV Calc to start, ovfeed holding a line for a client and staying after its last line,
# ovbridge following OV Calc's results and serving a data source (its broker away meanwhile).
#   bus_loss.sh BIN EXAMPLES
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
BIN=$1
e2e_start bus-loss

dir="$RUN/app"
mkdir -p "$dir"
cp "$BIN/ovcalc" "$BIN/ovsetup" "$BIN/ovfeed" "$BIN/ovclient" "$BIN/ovbridge" "$dir/"
cd "$dir"
# A group that asks the setup server at every record.
cat >OVCalc.OVG <<'EOF'
[Calc]
LogDetail=0
GroupNames=CalcGroup:1

[CalcGroup:1]
CGIndex=1
FuncName=H + SHIFT(H)
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
EOF
for ((i = 0; i < 3000; i++)); do
  printf '$REALTIME 12/08/2026 %02d:%02d:%02d,GAUGE.HG,%d\n' $((i / 3600)) $((i / 60 % 60)) $((i % 60)) "$i"
done >feed.txt
cp OVCalc.OVG OVCalc.OVG.orig

# The bus's loss said once, and nothing else blamed for it.
said_once() {
  local n
  n=$(grep -c "The session bus has gone away" calc.err || true)
  ((n == 1)) || fail "$1: the bus's loss said $n times: $(cat calc.err)"
  ! grep -q "started again\|Starting it again\|The setup server ended\|Error 4\|Error 1613\|GetSetupParam" \
    calc.err || fail "$1: more than the bus's loss said: $(cat calc.err)"
}

# Marks the configuration as the run found it: the shutdown writes it anew.
touch -d '2000-01-01' OVCalc.OVG
./ovsetup OVSetup.ini 2>setup.err &
setup=$!
wait_for 10 name_has_owner OVSetup.Applications || fail "no setup server: $(cat setup.err)"
./ovcalc 2>calc.err &
calc=$!
wait_for 30 grep -q "Calculation thread started." calc.err || fail "no calculation thread"
./ovclient alive >/dev/null || fail "OV Calc does not answer"
./ovfeed --as rtu --rate 500 feed.txt >feed.out 2>feed.err &
wait_for 10 grep -q "linked" feed.err || fail "the feed was not linked: $(cat feed.err)"
sleep 0.5

# The companions, each settled in its wait before the bus goes.
./ovclient watch >watch.out 2>watch.err &
watch=$!
wait_for 10 eval './ovclient set TIMETAG probe; grep -qx probe watch.out' ||
  fail "ovclient watch does not follow \$TIMETAG: $(cat watch.err)"
# The Modbus RTU poller is switched off in the example: its line waits for a client.
printf '$TIMETAG 12/08/2026 20:41:05,RIVER1.HG,3.52\n' >held.txt
./ovfeed --as mbrtu held.txt >held.out 2>held.err &
held=$!
wait_for 10 grep -q "waiting for a client" held.err || fail "ovfeed does not wait: $(cat held.err)"
# Staying after its last line: as the decoder, since the RTU's bus name is the running feed's.
./ovfeed --as decoder --stay /dev/null >stay.out 2>stay.err &
stay=$!
wait_for 10 grep -q "0 lines sent" stay.out || fail "ovfeed --stay did not finish: $(cat stay.err)"
# ovbridge linked to OV Calc and playing the EUMETSAT decoder; no broker listens on port 1, so
# it also waits to connect again.
printf '[Broker]\nHost=127.0.0.1\nPort=1\n[Bridge]\nEngine=bus-loss\n' >bridge.ini
./ovbridge --as mdecoder bridge.ini >bridge.out 2>bridge.err &
bridge=$!
wait_for 10 grep -q "following OV Calc's results" bridge.err ||
  fail "ovbridge does not follow OV Calc: $(cat bridge.err)"
wait_for 10 name_has_owner OVMDecode.OVMDecodeCom || fail "ovbridge serves no data source"
# ovclient waiting for an OV Calc that never starts, on a bus of its own.
dbus-daemon --session --nofork --nosyslog --print-address=1 >other-bus.address &
other_bus=$!
wait_for 10 grep -q . other-bus.address || fail "no second bus"
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 other-bus.address) ./ovclient watch --wait 600 \
  >waiting.out 2>waiting.err &
waiting=$!
wait_for 10 eval 'DBUS_SESSION_BUS_ADDRESS=$(head -n 1 other-bus.address) BUS_PID=$other_bus \
  bus_clients | grep -qx $waiting' || fail "ovclient is not on the second bus"

kill -KILL "$BUS_PID" "$other_bus"
{ wait "$other_bus"; } 2>/dev/null || true
wait_for 15 eval '! alive $calc' || fail "OV Calc still runs without a bus: $(cat calc.err)"
status=0
wait "$calc" || status=$?
((status == 1)) || fail "OV Calc ended with status $status"
grep -q "Error 1600: The session bus has gone away" calc.err || fail "not said: $(cat calc.err)"
grep -q "Calcuation thread stopped." calc.err || fail "the thread was not stopped"
said_once "during a feed"
(($(stat -c %Y OVCalc.OVG) > 946684800)) || fail "the configuration was not written"
grep -q '^\[CalcGroup:1\]' OVCalc.OVG || fail "the configuration lost its groups"
say "OV Calc: said once, thread stopped, configuration written, status 1"

wait_for 10 eval '! alive $setup' || fail "ovsetup still runs without a bus"
status=0
wait "$setup" || status=$?
((status == 1)) || fail "ovsetup ended with status $status"
grep -q "ovsetup: the session bus has gone away" setup.err || fail "ovsetup: $(cat setup.err)"
say "ovsetup: said, status 1"

# Every companion: the loss said on standard error, and status 1.
ended_by_loss() {
  local name=$1 pid=$2 err=$3 says=$4
  wait_for 10 eval '! alive $pid' || fail "$name still runs without a bus"
  local status=0
  wait "$pid" || status=$?
  ((status == 1)) || fail "$name ended with status $status: $(cat "$err")"
  grep -qF "$says" "$err" || fail "$name did not say why: $(cat "$err")"
  say "$name: said, status 1"
}
ended_by_loss "ovclient watch" "$watch" watch.err "ovclient: the session bus has gone away"
ended_by_loss "ovclient watch --wait" "$waiting" waiting.err "ovclient: the session bus has gone away"
ended_by_loss "ovfeed (waiting for a client)" "$held" held.err "ovfeed: the session bus has gone away"
ended_by_loss "ovfeed --stay" "$stay" stay.err "ovfeed: the session bus has gone away"
ended_by_loss "ovbridge" "$bridge" bridge.err "ovbridge: the session bus has gone away"

# Early: OV Calc started the setup server itself and waits for its setup to load.
info=$(dbus-daemon --session --fork --nosyslog --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$info")
BUS_PID=$(sed -n 2p <<<"$info")
cp OVCalc.OVG.orig OVCalc.OVG
export OVCALC_OVSETUP_ARGS="OVSetup.ini --load-delay 30"
./ovcalc 2>calc.err &
calc=$!
wait_for 20 name_has_owner OVSetup.Applications || fail "no setup server started: $(cat calc.err)"
sleep 0.5
kill -KILL "$BUS_PID"
wait_for 15 eval '! alive $calc' || fail "early: OV Calc still runs without a bus: $(cat calc.err)"
status=0
wait "$calc" || status=$?
((status == 1)) || fail "early: OV Calc ended with status $status: $(cat calc.err)"
said_once "early"
say "early: said once, status 1"
