#!/usr/bin/env bash
# Shared by the ovbridge scripts, sourced after e2e_support.sh and e2e_start: a mosquitto broker
# of the test's own on a loopback port chosen at run time, with a configuration file the test
# writes; a subscriber that writes what it receives to a file; and the engine's pieces (the
# setup server, OV Calc and ovbridge from a portable folder).

# start_broker NAME [CONFIG LINE ...]: starts mosquitto with a configuration of its own
# ($RUN/NAME.conf: the listener, then the lines given) on a free loopback port, and waits until
# it listens. Sets BROKER_PORT and BROKER_PID. Keeps the port for restart_broker.
start_broker() {
  local name=$1
  shift
  BROKER_NAME=$name
  BROKER_LINES=("$@")
  local attempt
  for attempt in $(seq 30); do
    BROKER_PORT=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    if run_broker; then return 0; fi
  done
  fail "no free port for mosquitto: $(tail -3 "$RUN/$name.out")"
}

# Writes the configuration for BROKER_PORT and starts the broker; false when it did not come up
# (the port taken).
run_broker() {
  local conf="$RUN/$BROKER_NAME.conf"
  {
    echo "listener $BROKER_PORT ${BROKER_ADDRESS:-127.0.0.1}"
    echo "log_dest file $RUN/$BROKER_NAME.log"
    echo "log_type error"
    echo "log_type warning"
    echo "log_type notice"
    echo "log_type information"
    echo "log_type subscribe"
    # Run as whoever runs the test: the test's files are its own.
    echo "user $(id -un)"
    echo "allow_anonymous ${BROKER_ANONYMOUS:-true}"
    printf '%s\n' "${BROKER_LINES[@]}"
  } >"$conf"
  mosquitto -c "$conf" >>"$RUN/$BROKER_NAME.out" 2>&1 &
  BROKER_PID=$!
  local end=$((SECONDS + 10))
  while ((SECONDS < end)); do
    alive "$BROKER_PID" || return 1
    if grep -q "Opening ipv[46] listen socket on port $BROKER_PORT" "$RUN/$BROKER_NAME.log" 2>/dev/null &&
       (exec 3<>"/dev/tcp/127.0.0.1/$BROKER_PORT") 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}

stop_broker() {
  stop_pids "$BROKER_PID"
  wait "$BROKER_PID" 2>/dev/null || true
}

# The broker again on the same port and configuration (its persistence included).
restart_broker() {
  local attempt
  for attempt in $(seq 50); do
    run_broker && return 0
    sleep 0.2
  done
  fail "mosquitto did not start again on port $BROKER_PORT: $(tail -3 "$RUN/$BROKER_NAME.out")"
}

# subscribe ID FILE FORMAT TOPIC ...: a subscriber with a persistent session (QoS 1) that
# appends every message to FILE in mosquitto_sub's FORMAT and keeps connecting after a lost
# connection; waits until the broker has its subscriptions. SUB_OPTIONS (an array) adds options
# (TLS, a user). Sets SUB_PID.
subscribe() {
  local id=$1 file=$2 format=$3
  shift 3
  local topics=() t
  for t in "$@"; do topics+=(-t "$t"); done
  : >"$file"
  mosquitto_sub -h 127.0.0.1 "${SUB_OPTIONS[@]}" -p "$BROKER_PORT" -i "$id" -c -q 1 -F "$format" \
    "${topics[@]}" >>"$file" 2>>"$RUN/$id.err" &
  SUB_PID=$!
  for t in "$@"; do
    wait_for 10 grep -qF " $id 1 $t" "$RUN/$BROKER_NAME.log" ||
      fail "subscriber $id not subscribed to $t: $(cat "$RUN/$id.err")"
  done
}

# Lines in FILE (0 for none).
lines_in() { [[ -f $1 ]] && wc -l <"$1" || echo 0; }
has_lines() { (($(lines_in "$1") >= $2)); }

# The value of one line "label: value" of ovbridge --status.
bridge_status() {
  "$BRIDGE" --status 2>/dev/null | sed -n "s/^$1: //p"
}

# An OV Calc in folder $1 (the example network's unless the folder holds its own settings),
# its setup server, and the bridge program beside them. Sets SETUP_PID and CALC_PID.
start_engine() {
  local dir=$1
  (
    cd "$dir"
    exec ./ovsetup OVSetup.ini 2>setup.err
  ) &
  SETUP_PID=$!
  wait_for 10 name_has_owner OVSetup.Applications || fail "no setup server: $(cat "$dir/setup.err")"
  (
    cd "$dir"
    exec ./ovcalc 2>calc.err
  ) &
  CALC_PID=$!
  wait_for 60 grep -q "Calculation thread started." "$dir/calc.err" ||
    fail "no calculation thread: $(cat "$dir/calc.err")"
}

# The JSON payloads of the lines "TOPIC PAYLOAD" of FILE whose topic is $2.
payloads_of() { awk -v t="$2" '$1 == t { sub(/^[^ ]* /, ""); print }' "$1"; }
