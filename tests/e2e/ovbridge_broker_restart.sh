#!/usr/bin/env bash
# End to end: the broker stopped and started again in the middle of a feed. Results calculated
# while it is away wait in ovbridge's queue (QueueSize 10 here): an outage of 10 results loses
# nothing; an outage of 25 loses the 15 oldest, which --status counts, and the 10 newest arrive.
# Every result that arrives arrives once and in order.
#   ovbridge_broker_restart.sh BIN
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
source "$HERE/mqtt_support.sh"
BIN=$1
e2e_start ovbridge-restart
SUB_OPTIONS=()

dir="$RUN/app"
mkdir -p "$dir"
cp "$BIN/ovcalc" "$BIN/ovsetup" "$BIN/ovfeed" "$BIN/ovbridge" "$dir/"
BRIDGE="$dir/ovbridge"
cat >"$dir/OVSetup.ini" <<'EOF'
[General]
RtuEnabled=True
DecoderEnabled=False
MBRtuEnabled=False
[DataServer]
StorageOption=10
EOF
cat >"$dir/OVCalc.OVG" <<'EOF'
[Calc]
GroupNames=Double
[Double]
CGIndex=1
FuncName=X * 2
Enabled=1
MultiStations=0
OutputStation=TEST
OutputSensor=OUT
VariablesName=X
VariablesValue=IN
EOF
mkdir -p "$RUN/db"
start_broker broker "persistence true" "persistence_location $RUN/db/"
cat >"$dir/ovbridge.ini" <<EOF
[Broker]
Host=127.0.0.1
Port=$BROKER_PORT
ReconnectMin=0.2
ReconnectMax=0.5
[Bridge]
Engine=restart
QueueSize=10
EOF

start_engine "$dir"
subscribe watch "$RUN/results.txt" '%p' ovcalc/out/TEST/OUT
"$BRIDGE" "$dir/ovbridge.ini" 2>"$RUN/bridge.err" &
wait_for 20 eval '[[ $(bridge_status "OV Calc linked") == yes && $(bridge_status connected) == yes ]]' ||
  fail "the bridge is not ready: $(cat "$RUN/bridge.err")"
mkfifo "$RUN/feed"
(cd "$dir" && exec ./ovfeed --as rtu <"$RUN/feed" >/dev/null 2>"$RUN/feed.err") &
exec 3>"$RUN/feed"

# feed FROM TO: one line per number, TEST.IN = n at 20:00:00 + n seconds.
feed() {
  local n
  for ((n = $1; n <= $2; n++)); do
    printf '$REALTIME 12/08/2026 20:%02d:%02d,TEST.IN,%d\n' $((n / 60)) $((n % 60)) "$n" >&3
  done
}
values() { jq -r .value "$RUN/results.txt" | tr '\n' ' '; }
want() { local n out=""; for n in "$@"; do out+="$((2 * n)) "; done; echo "$out"; }
outage() {
  wait_for 10 eval '[[ $(bridge_status "in flight") == 0 ]]' || fail "unacknowledged messages"
  stop_broker
  wait_for 10 eval '[[ $(bridge_status connected) == no ]]' || fail "the bridge did not notice"
}

feed 1 20
wait_for 30 has_lines "$RUN/results.txt" 20 || fail "before the outage: $(values)"
outage
feed 21 30
wait_for 30 eval '[[ $(bridge_status "results in") == 30 ]]' || fail "results: $("$BRIDGE" --status)"
[[ $(bridge_status queued) == 10 && $(bridge_status dropped) == 0 ]] || fail "$("$BRIDGE" --status)"
restart_broker
wait_for 30 has_lines "$RUN/results.txt" 30 || fail "after the first outage: $(values)"
[[ $(values) == "$(want $(seq 1 30))" ]] || fail "after the first outage: $(values)"
say "10 results over an outage within the queue's bound: none lost"

outage
feed 31 55
wait_for 30 eval '[[ $(bridge_status "results in") == 55 ]]' || fail "results: $("$BRIDGE" --status)"
[[ $(bridge_status queued) == 10 && $(bridge_status dropped) == 15 ]] || fail "$("$BRIDGE" --status)"
restart_broker
wait_for 30 has_lines "$RUN/results.txt" 40 || fail "after the second outage: $(values)"
sleep 1
[[ $(values) == "$(want $(seq 1 30) $(seq 46 55))" ]] || fail "after the second outage: $(values)"
[[ $(bridge_status dropped) == 15 && $(bridge_status queued) == 0 ]] || fail "$("$BRIDGE" --status)"
grep -q "the queue of results is full (QueueSize 10): the oldest are dropped" "$RUN/bridge.err" ||
  fail "the loss was not said: $(cat "$RUN/bridge.err")"
status=$(mosquitto_sub -h 127.0.0.1 -p "$BROKER_PORT" -t ovcalc/status/restart -C 1 -W 5)
[[ $(jq -c '[.state, .dropped]' <<<"$status") == '["online",15]' ]] ||
  fail "the engine's status does not count the loss: $status"
say "25 results over an outage: the 15 oldest dropped and counted, the 10 newest delivered"
exec 3>&-
