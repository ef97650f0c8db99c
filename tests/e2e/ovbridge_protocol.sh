#!/usr/bin/env bash
# End to end: a broker that offers MQTT 3.1.1 only (a stand-in that refuses an MQTT 5 CONNECT as
# such brokers do). With Protocol=auto ovbridge tries MQTT 5, says that the broker does not
# offer it, connects with 3.1.1 and works on it; with Protocol=5 it keeps to 5 and stays
# unconnected. Against mosquitto (which offers 5) the other tests see MQTT 5.
#   ovbridge_protocol.sh BIN FAKE_BROKER
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
source "$HERE/mqtt_support.sh"
BIN=$1 FAKE=$2
e2e_start ovbridge-protocol
BRIDGE="$BIN/ovbridge"

"$FAKE" >"$RUN/fake.log" &
wait_for 10 has_lines "$RUN/fake.log" 1 || fail "the stand-in broker did not start"
port=$(head -1 "$RUN/fake.log")

for protocol in auto 5; do
  printf '[Broker]\nHost=127.0.0.1\nPort=%s\nProtocol=%s\nReconnectMin=0.2\nReconnectMax=0.4\n[Bridge]\nEngine=old\n' \
    "$port" "$protocol" >"$RUN/$protocol.ini"
done

"$BRIDGE" --as rtu "$RUN/auto.ini" 2>"$RUN/auto.err" &
bridge=$!
wait_for 20 eval '[[ $(bridge_status connected) == yes ]]' ||
  fail "no connection: $(cat "$RUN/auto.err") $(cat "$RUN/fake.log")"
[[ $(bridge_status protocol) == "MQTT 3.1.1" ]] || fail "$("$BRIDGE" --status)"
grep -q "the broker does not offer MQTT 5: MQTT 3.1.1 next" "$RUN/auto.err" ||
  fail "the fallback not said: $(cat "$RUN/auto.err")"
wait_for 10 grep -q "^PUBLISH ovcalc/status/old$" "$RUN/fake.log" || fail "$(cat "$RUN/fake.log")"
[[ $(sed -n 2,3p "$RUN/fake.log" | tr '\n' ' ') == "CONNECT 5 CONNECT 4 " ]] ||
  fail "attempts: $(cat "$RUN/fake.log")"
grep -q "^SUBSCRIBE$" "$RUN/fake.log" || fail "no subscription: $(cat "$RUN/fake.log")"
kill -TERM "$bridge"
wait "$bridge" || fail "the bridge ended with status $?"
say "auto: MQTT 5 refused, said, connected with MQTT 3.1.1"

: >"$RUN/fake.log"
"$BRIDGE" "$RUN/5.ini" 2>"$RUN/5.err" &
bridge=$!
wait_for 10 eval '(($(grep -c "^CONNECT 5$" "$RUN/fake.log") >= 3))' ||
  fail "attempts: $(cat "$RUN/fake.log") $(cat "$RUN/5.err")"
[[ $(bridge_status connected) == no && $(bridge_status protocol) == "MQTT 5" ]] ||
  fail "$("$BRIDGE" --status)"
! grep -q "^CONNECT 4$" "$RUN/fake.log" || fail "Protocol=5 fell back: $(cat "$RUN/fake.log")"
grep -qi "unsupported protocol version" "$RUN/5.err" || fail "not said: $(cat "$RUN/5.err")"
kill -TERM "$bridge"
wait "$bridge" || fail "the bridge ended with status $?"
say "Protocol=5: kept to MQTT 5, refused and said, no fallback"
