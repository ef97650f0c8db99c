#!/usr/bin/env bash
# End to end: two OV Calc engines, each on a private bus of its own with its own setup server
# and its own ovbridge (--shard 0/2 and --shard 1/2), behind one broker. Station records for
# twelve stations are published once; every station's result arrives exactly once, each engine
# calculated the stations of its shard and left the others alone.
#   ovbridge_shards.sh BIN
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
source "$HERE/mqtt_support.sh"
BIN=$1
e2e_start ovbridge-shards
SUB_OPTIONS=()

# The second engine's bus and runtime folder; the first engine keeps e2e_start's.
BUS1=$DBUS_SESSION_BUS_ADDRESS RUNTIME1=$XDG_RUNTIME_DIR RUNTIME2="$RUN/runtime2"
mkdir -m 700 "$RUNTIME2"
info=$(dbus-daemon --session --fork --nosyslog --print-address=1 --print-pid=1)
BUS2=$(sed -n 1p <<<"$info") BUS2_PID=$(sed -n 2p <<<"$info")
trap 'st=$?; set +e; kill "$BUS2_PID" 2>/dev/null; (exit $st); e2e_cleanup' EXIT
on_engine() {
  if (($1 == 0)); then
    export DBUS_SESSION_BUS_ADDRESS=$BUS1 XDG_RUNTIME_DIR=$RUNTIME1
  else
    export DBUS_SESSION_BUS_ADDRESS=$BUS2 XDG_RUNTIME_DIR=$RUNTIME2
  fi
}

stations=(ST01 ST02 ST03 ST04 ST05 ST06 ST07 ST08 ST09 ST10 ST11 ST12)
start_broker broker
for k in 0 1; do
  dir="$RUN/engine$k"
  mkdir -p "$dir"
  cp "$BIN/ovcalc" "$BIN/ovsetup" "$BIN/ovbridge" "$dir/"
  printf '[General]\nRtuEnabled=True\n[DataServer]\nStorageOption=10\n' >"$dir/OVSetup.ini"
  similar=$(IFS=,; echo "${stations[*]:1}")
  cat >"$dir/OVCalc.OVG" <<EOF
[Calc]
GroupNames=Double
[Double]
CGIndex=7
FuncName=X * 2
Enabled=1
MultiStations=0
OutputStation=${stations[0]}
OutputSensor=OUT
VariablesName=X
VariablesValue=IN
SimilarStations=$similar
EOF
  cat >"$dir/ovbridge.ini" <<EOF
[Broker]
Host=127.0.0.1
Port=$BROKER_PORT
[Bridge]
Groups=OVCalc.OVG
EOF
done

subscribe results "$RUN/results.txt" '%p' 'ovcalc/out/#'
for k in 0 1; do
  on_engine "$k"
  dir="$RUN/engine$k"
  "$dir/ovbridge" --as rtu --shard "$k/2" --engine "engine$k" "$dir/ovbridge.ini" \
    2>"$RUN/bridge$k.err" &
  wait_for 10 name_has_owner OVRtu.OVRtuCOM || fail "bridge $k: $(cat "$RUN/bridge$k.err")"
  start_engine "$dir"
  BRIDGE="$dir/ovbridge"
  wait_for 30 eval '[[ $(bridge_status "OV Calc takes data") == yes ]]' ||
    fail "engine $k does not take data: $("$BRIDGE" --status)"
  [[ $(bridge_status shard) == "$k/2" ]] || fail "engine $k: $("$BRIDGE" --status)"
done

for s in "${stations[@]}"; do
  mosquitto_pub -h 127.0.0.1 -p "$BROKER_PORT" -q 1 -t "ovcalc/in/$s" \
    -m "{\"station\": \"$s\", \"time\": \"2026-12-08T20:00:00\", \"values\": {\"IN\": $((10#${s#ST}))}}"
done
report() {
  local k
  for k in 0 1; do
    on_engine "$k"
    echo "engine $k: $(cat "$RUN/bridge$k.err")"
    "$RUN/engine$k/ovbridge" --status
  done
}
wait_for 30 has_lines "$RUN/results.txt" 12 || fail "results: $(cat "$RUN/results.txt") $(report)"
sleep 1
(($(lines_in "$RUN/results.txt") == 12)) || fail "more than 12 results: $(cat "$RUN/results.txt")"
for s in "${stations[@]}"; do
  n=${s#ST}
  n=$((10#$n))
  [[ $(jq -c "select(.station == \"$s\") | [.sensor, .value, .group]" "$RUN/results.txt") == "[\"OUT\",$((2 * n)),7]" ]] ||
    fail "$s: $(grep "\"$s\"" "$RUN/results.txt")"
done
say "every station's result once"

declare -A announced other
for k in 0 1; do
  on_engine "$k"
  BRIDGE="$RUN/engine$k/ovbridge"
  announced[$k]=$(bridge_status announced)
  other[$k]=$(bridge_status "other shards")
  ((announced[$k] > 0 && announced[$k] + other[$k] == 12)) ||
    fail "engine $k: $("$BRIDGE" --status)"
  # What the engine announced is what it calculated.
  [[ $(bridge_status "results in") == "${announced[$k]}" ]] || fail "engine $k: $("$BRIDGE" --status)"
done
((announced[0] + announced[1] == 12)) || fail "announced ${announced[0]} and ${announced[1]}"
say "engine 0 took ${announced[0]} stations, engine 1 took ${announced[1]}"
