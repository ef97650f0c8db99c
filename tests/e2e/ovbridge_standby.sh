#!/usr/bin/env bash
# End to end: a standby takes over a silent engine, as docs/scale-out.md tells. Engine A's
# bridge is killed (no clean end): the broker publishes its last will, "offline", after the
# keep-alive. Station records published meanwhile stay in the bridge's persistent session; the
# standby, engine B on a bus of its own, starts its bridge under A's name and so receives them,
# in order, and calculates them.
#   ovbridge_standby.sh BIN
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
source "$HERE/mqtt_support.sh"
BIN=$1
e2e_start ovbridge-standby
SUB_OPTIONS=()

BUS1=$DBUS_SESSION_BUS_ADDRESS RUNTIME1=$XDG_RUNTIME_DIR RUNTIME2="$RUN/runtime2"
mkdir -m 700 "$RUNTIME2"
info=$(dbus-daemon --session --fork --nosyslog --print-address=1 --print-pid=1)
BUS2=$(sed -n 1p <<<"$info") BUS2_PID=$(sed -n 2p <<<"$info")
trap 'st=$?; set +e; kill "$BUS2_PID" 2>/dev/null; (exit $st); e2e_cleanup' EXIT
on_engine() {
  if [[ $1 == a ]]; then
    export DBUS_SESSION_BUS_ADDRESS=$BUS1 XDG_RUNTIME_DIR=$RUNTIME1
  else
    export DBUS_SESSION_BUS_ADDRESS=$BUS2 XDG_RUNTIME_DIR=$RUNTIME2
  fi
}

start_broker broker
for e in a b; do
  dir="$RUN/engine-$e"
  mkdir -p "$dir"
  cp "$BIN/ovcalc" "$BIN/ovsetup" "$BIN/ovbridge" "$dir/"
  printf '[General]\nRtuEnabled=True\n[DataServer]\nStorageOption=10\n' >"$dir/OVSetup.ini"
  printf '[Calc]\nGroupNames=G\n[G]\nCGIndex=1\nFuncName=X * 2\nEnabled=1\nMultiStations=0\nOutputStation=S1\nOutputSensor=OUT\nVariablesName=X\nVariablesValue=IN\n' \
    >"$dir/OVCalc.OVG"
  printf '[Broker]\nHost=127.0.0.1\nPort=%s\nKeepAlive=5\nReconnectMin=0.2\n[Bridge]\nEngine=river-a\n' \
    "$BROKER_PORT" >"$dir/ovbridge.ini"
done
publish() {
  mosquitto_pub -h 127.0.0.1 -p "$BROKER_PORT" -q 1 -t ovcalc/in/S1 \
    -m "12/08/2026 20:00:$(printf %02d "$1"),S1.IN,$1"
}
subscribe results "$RUN/results.txt" '%p' ovcalc/records
subscribe status "$RUN/status.txt" '%p' ovcalc/status/river-a

on_engine a
"$RUN/engine-a/ovbridge" --as rtu "$RUN/engine-a/ovbridge.ini" 2>"$RUN/a.err" &
bridge_a=$!
start_engine "$RUN/engine-a"
BRIDGE="$RUN/engine-a/ovbridge"
wait_for 30 eval '[[ $(bridge_status "OV Calc takes data") == yes ]]' || fail "engine a: $(cat "$RUN/a.err")"
for n in 1 2 3; do publish "$n"; done
wait_for 20 has_lines "$RUN/results.txt" 3 || fail "engine a's results: $(cat "$RUN/results.txt")"

kill -KILL "$bridge_a"
wait "$bridge_a" 2>/dev/null || true
for n in 4 5 6 7; do publish "$n"; done
# The last will after 1.5 keep-alives without a word.
wait_for 20 grep -q '"offline"' "$RUN/status.txt" || fail "no last will: $(cat "$RUN/status.txt")"
say "engine a's bridge killed: its last will said offline"

on_engine b
start_engine "$RUN/engine-b"
"$RUN/engine-b/ovbridge" --as rtu "$RUN/engine-b/ovbridge.ini" 2>"$RUN/b.err" &
wait_for 30 has_lines "$RUN/results.txt" 7 || fail "after the take-over: $(cat "$RUN/results.txt") $(cat "$RUN/b.err")"
sleep 1
[[ $(cut -d, -f3 "$RUN/results.txt" | tr '\n' ' ') == "2 4 6 8 10 12 14 " ]] ||
  fail "results: $(cat "$RUN/results.txt")"
grep -q "session kept" "$RUN/b.err" || fail "the standby did not find the session: $(cat "$RUN/b.err")"
say "the standby took engine a's session: the 4 records published meanwhile calculated, in order"
