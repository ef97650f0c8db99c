#!/usr/bin/env bash
# End to end: station records published to the broker come out as OV Calc results. ovbridge
# plays the RTU poller (--as rtu); records arrive as data lines (with and without their item
# name) and in the JSON form (local time, an offset, "Z", null for the null value), one before
# OV Calc runs (held until it calculates); malformed messages are counted, reported once per
# topic and dropped whole (a good pair before a bad one is not announced either).
#   ovbridge_data_in.sh BIN EXAMPLES
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
source "$HERE/mqtt_support.sh"
BIN=$1 EXAMPLES=$2
e2e_start ovbridge-data-in
SUB_OPTIONS=()

dir="$RUN/app"
make_portable "$BIN" "$dir" "$EXAMPLES"
cp "$BIN/ovbridge" "$dir/"
ln -s "$EXAMPLES" "$dir/examples"
BRIDGE="$dir/ovbridge"
start_broker broker
cat >"$dir/ovbridge.ini" <<EOF
[Broker]
Host=127.0.0.1
Port=$BROKER_PORT
ReconnectMin=0.2
[Bridge]
Engine=field
TimeZone=Europe/Berlin
EOF

publish() { mosquitto_pub -h 127.0.0.1 -p "$BROKER_PORT" -q 1 -t "ovcalc/in/$1" -m "$2"; }

subscribe records "$RUN/records.txt" '%p' ovcalc/records
# The bridge first: OV Calc connects the RTU poller it finds at its start.
"$BRIDGE" --as rtu "$dir/ovbridge.ini" 2>"$RUN/bridge.err" &
bridge=$!
mosquitto_sub -h 127.0.0.1 -p "$BROKER_PORT" -t ovcalc/status/field -C 1 -W 20 >/dev/null ||
  fail "the bridge is not online: $(cat "$RUN/bridge.err")"
wait_for 10 name_has_owner OVRtu.OVRtuCOM || fail "the bridge does not own the RTU poller's name"

# Before OV Calc runs: held by the bridge.
publish RIVER1 "12/08/2026 20:00:10,RIVER1.HG,1.82,RIVER1.TA,11.8"
wait_for 10 eval '[[ $(bridge_status held) == 1 ]]' || fail "not held: $("$BRIDGE" --status)"
[[ $(bridge_status "OV Calc takes data") == no ]] || fail "$("$BRIDGE" --status)"
start_engine "$dir"
wait_for 30 has_lines "$RUN/records.txt" 1 || fail "the held record was not calculated"

publish RIVER1 '{"station": "RIVER1", "time": "2026-12-08T20:14:50+01:00", "values": {"HG": 1.95, "TA": 12.1}}'
publish junk "hello"
publish RIVER2 '{"station": "RIVER2", "time": "2026-12-08T19:15:00Z", "item": "$GOESTIMED",
                 "values": {"HG": 0.93, "TA": 12.9}}'
publish junk "12/08/2026 20:00:10,RIVER1HG,1"
publish json '{"station": "RIVER1", "time": "2026-12-08T20:29:55"}'
# A good pair before a bad one: nothing of it is announced (RIVER1.Q at 20:30 would show it).
publish junk "12/08/2026 20:29:55,RIVER1.HG,1.90,RIVER1.TA,warm"
publish RAIN1 '$GOESTIMED 12/08/2026 20:15:00,RAIN1.PC,0.12'
publish RIVER1 '{"station": "RIVER1", "time": "2026-12-08T20:44:58", "values": {"HG": null, "TA": 12.3}}'

wait_for 30 has_lines "$RUN/records.txt" 6 || fail "results: $(cat "$RUN/records.txt")"
sleep 1
cat >"$RUN/want.txt" <<'EOF'
12/08/2026 20:00:00,RIVER1.Q,38.422
12/08/2026 20:15:00,RIVER1.Q,43.444
12/08/2026 20:15:00,RIVER2.Q,6.024
12/08/2026 20:15:00,BASIN.TA,12.5
12/08/2026 20:15:00,RAIN1.PCMM,3.048
12/08/2026 20:45:00,RIVER1.Q,-9999
EOF
diff "$RUN/want.txt" "$RUN/records.txt" >&2 || fail "the results differ"
say "6 results from 5 station records in both forms"

[[ $(grep -c "malformed message on ovcalc/in/junk dropped: no time tag" "$RUN/bridge.err") == 1 &&
   $(grep -c "malformed message on ovcalc/in/json dropped: no \"values\"" "$RUN/bridge.err") == 1 &&
   $(grep -c "malformed" "$RUN/bridge.err") == 2 ]] ||
  fail "malformed messages not reported once per topic: $(cat "$RUN/bridge.err")"
for want in "messages in: 9" "announced: 5" "malformed: 4" "held: 0" "other shards: 0" \
            "dropped in: 0" "data source: rtu" "OV Calc takes data: yes"; do
  "$BRIDGE" --status | grep -qxF "$want" || fail "status without [$want]: $("$BRIDGE" --status)"
done
say "4 malformed messages counted, reported once per topic, dropped whole"

# The bridge's end closes the data source as a source does: OV Calc hears its shutdown.
kill -TERM "$bridge"
wait "$bridge" || fail "the bridge ended with status $?"
wait_for 10 grep -q "RO Did shutdown command received" "$dir/calc.err" ||
  fail "OV Calc did not hear the source's shutdown: $(tail -5 "$dir/calc.err")"
say "the bridge's end is the RTU poller's shutdown for OV Calc"
