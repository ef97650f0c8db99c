#!/usr/bin/env bash
# ovbridge's command line: --help and --version; every usage error as "ovbridge: what is wrong"
# and "Try 'ovbridge --help'." with status 2; settings it cannot use, no session bus, a second
# bridge on one bus and --status without a bridge with status 1; and the session bus going away
# under a running bridge: it says so, tells the broker "offline" and ends with status 1.
#   ovbridge_command_line.sh BIN
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
source "$HERE/mqtt_support.sh"
BIN=$1
e2e_start ovbridge-command-line
BRIDGE="$BIN/ovbridge"

# run CASE STATUS STDERR ARGS...: the status and the whole of standard error.
run() {
  local name=$1 want_status=$2 want_err=$3
  shift 3
  local status=0
  "$BRIDGE" "$@" >"$RUN/out" 2>"$RUN/err" </dev/null || status=$?
  ((status == want_status)) || fail "$name: status $status, not $want_status: $(cat "$RUN/err")"
  [[ $(cat "$RUN/err") == "$want_err" ]] || fail "$name: standard error [$(cat "$RUN/err")], not [$want_err]"
}
usage() { printf "ovbridge: %s\nTry 'ovbridge --help'." "$1"; }

"$BRIDGE" --help >"$RUN/help"
grep -q "^Usage: ovbridge \[--as SOURCE\] \[--shard K/N\] \[--engine NAME\] SETTINGS" "$RUN/help" ||
  fail "--help: $(head -3 "$RUN/help")"
grep -q "^Exit status:" "$RUN/help" || fail "--help tells no exit status"
[[ $("$BRIDGE" --version | tail -n 1) =~ ^MQTT\ client:\ libmosquitto\ [0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  fail "--version names no libmosquitto: $("$BRIDGE" --version)"

run "no settings" 2 "$(usage "the settings file is missing")"
run "two files" 2 "$(usage "one settings file only, not also \"b.ini\"")" a.ini b.ini
run "unknown option" 2 "$(usage "unknown option '--frobnicate'")" --frobnicate a.ini
run "--as without value" 2 "$(usage "--as needs a value")" a.ini --as
run "--as unknown" 2 "$(usage "--as takes decoder, mdecoder, rtu or mbrtu, not \"modem\"")" --as modem a.ini
for shard in 2/2 -1/2 1/0 x 1/ /2 1/2/3 0/1025; do
  run "--shard $shard" 2 "$(usage "--shard takes K/N with 0 <= K < N <= 1024, not \"$shard\"")" --shard "$shard" a.ini
done
run "empty engine" 2 "$(usage "--engine takes a name, not an empty text")" --engine "" a.ini
run "password" 2 "$(usage "a password is never given on the command line: name a PasswordFile in the settings or set OVBRIDGE_PASSWORD")" --password=x a.ini
run "--status and more" 2 "$(usage "--status takes nothing else")" --status a.ini
say "usage errors: status 2, what is wrong, and where to read more"

run "missing settings" 1 "ovbridge: cannot read the settings file $RUN/none.ini: no such file" "$RUN/none.ini"
printf '[Broker]\nPassword=x\n' >"$RUN/password.ini"
run "password in the settings" 1 "ovbridge: $RUN/password.ini:2: the broker's password does not belong in the settings: name a PasswordFile or set OVBRIDGE_PASSWORD" "$RUN/password.ini"
printf '[Broker]\nPasswordFile=nowhere\n' >"$RUN/nofile.ini"
run "password file missing" 1 "ovbridge: cannot read the password file $RUN/nowhere" "$RUN/nofile.ini"
run "--status without a bridge" 1 "ovbridge: no ovbridge runs on this session bus (OVBridge.Bridge has no owner)" --status

start_broker broker
printf '[Broker]\nHost=127.0.0.1\nPort=%s\n[Bridge]\nEngine=cli\n' "$BROKER_PORT" >"$RUN/good.ini"
printf '[Broker]\nHost=127.0.0.1\nPort=%s\n[Bridge]\nTimeZone=Mars/Olympus\n' "$BROKER_PORT" >"$RUN/zone.ini"
run "unknown zone" 1 "ovbridge: no time zone \"Mars/Olympus\" in /usr/share/zoneinfo (an IANA name such as Europe/Berlin or UTC)" "$RUN/zone.ini"
status=0
DBUS_SESSION_BUS_ADDRESS=unix:path=$RUN/no-bus "$BRIDGE" "$RUN/good.ini" 2>"$RUN/err" || status=$?
((status == 1)) && grep -q "^ovbridge: cannot reach the session bus" "$RUN/err" ||
  fail "no session bus: status $status, $(cat "$RUN/err")"
say "settings it cannot use and no session bus: status 1, said"

"$BRIDGE" "$RUN/good.ini" 2>"$RUN/bridge.err" &
bridge=$!
wait_for 10 eval '[[ $(bridge_status connected) == yes ]]' || fail "$(cat "$RUN/bridge.err")"
run "a second bridge" 1 "ovbridge: another ovbridge serves this session bus (OVBridge.Bridge is owned)" "$RUN/good.ini"
say "one bridge per session bus"

# A closed terminal (SIGHUP) ends the bridge in order, as SIGTERM does.
kill -HUP "$bridge"
status=0
wait "$bridge" || status=$?
((status == 0)) || fail "SIGHUP: status $status: $(cat "$RUN/bridge.err")"
offline=$(mosquitto_sub -h 127.0.0.1 -p "$BROKER_PORT" -t ovcalc/status/cli -C 1 -W 5)
[[ $(jq -r .state <<<"$offline") == offline ]] || fail "status after SIGHUP: $offline"
"$BRIDGE" "$RUN/good.ini" 2>"$RUN/bridge.err" &
bridge=$!
wait_for 10 eval '[[ $(bridge_status connected) == yes ]]' || fail "$(cat "$RUN/bridge.err")"
say "SIGHUP: offline, status 0"

# The bus goes away: said, "offline" told, status 1.
kill -KILL "$BUS_PID"
wait_for 15 eval '! alive $bridge' || fail "the bridge still runs without a bus: $(cat "$RUN/bridge.err")"
status=0
wait "$bridge" || status=$?
((status == 1)) || fail "the bridge ended with status $status"
grep -q "^ovbridge: the session bus has gone away$" "$RUN/bridge.err" || fail "not said: $(cat "$RUN/bridge.err")"
offline=$(mosquitto_sub -h 127.0.0.1 -p "$BROKER_PORT" -t ovcalc/status/cli -C 1 -W 5)
[[ $(jq -r .state <<<"$offline") == offline ]] || fail "status after the bus went: $offline"
say "the session bus gone: said, offline on the broker, status 1"
