#!/usr/bin/env bash
# End to end: the README's "Station data and results over MQTT" session, its lines as the README
# has them, in a copy of the repository's layout (build/demo/bin with the built programs,
# examples/) on a private session bus. The one change: the broker's port 1883 becomes a free
# port of this run, in the lines and in the copy of examples/ovbridge.ini, so that the test
# neither meets nor disturbs a broker of the machine. The watch prints the eleven results of
# examples/expected.txt and the one of the published station record, each as its JSON message;
# every program of the session has ended when it is done.
#   mqtt_session.sh README BIN EXAMPLES     (BIN: the folder of the built programs)
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
README=$1 BIN=$2 EXAMPLES=$3
e2e_start mqtt-session

awk '/<!-- mqtt session/ { marked = 1; next }
     marked && /^```/ { if (inside) exit; inside = 1; next }
     inside { print }' "$README" >"$RUN/session.sh"
[[ -s $RUN/session.sh ]] || fail "no MQTT session in $README"

mkdir -p "$RUN/root/build/demo/bin"
cp "$BIN/ovcalc" "$BIN/ovsetup" "$BIN/ovfeed" "$BIN/ovclient" "$BIN/ovbridge" "$BIN/ovtool" \
   "$RUN/root/build/demo/bin/"
cp -r "$EXAMPLES" "$RUN/root/examples"
cp "$RUN/session.sh" "$RUN/readme.sh"
cp "$RUN/root/examples/ovbridge.ini" "$RUN/ovbridge.ini"
cd "$RUN/root"
for attempt in 1 2 3; do
  # A port nobody listens on; should another program take it before the session's broker
  # does, the session runs again on another.
  for _ in $(seq 50); do
    port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
  done
  sed "s/\b1883\b/$port/g" "$RUN/readme.sh" >"$RUN/session.sh"
  sed "s/\b1883\b/$port/g" "$RUN/ovbridge.ini" >"$RUN/root/examples/ovbridge.ini"
  say "running the README's session (port $port):"
  sed 's/^/  | /' "$RUN/session.sh"
  status=0
  timeout 120 bash -e "$RUN/session.sh" >"$RUN/out.txt" 2>"$RUN/err.txt" || status=$?
  grep -q "Address already in use" "$RUN/err.txt" || break
  stop_pids $(bus_clients)
done
if ((status != 0)); then
  tail -n 40 "$RUN/err.txt"
  fail "the session ended with status $status"
fi
grep '^ovcalc/out/' "$RUN/out.txt" >"$RUN/all.txt" || true
(($(wc -l <"$RUN/all.txt") == 12)) || fail "results: $(cat "$RUN/out.txt")"
# The published record's result (at 21:00, which may come before MET1's, calculated a schedule
# delay after its line), and the feed's eleven in order.
grep -F '"time":"2026-12-08T21:00:00+01:00"' "$RUN/all.txt" >"$RUN/published.txt" || true
grep -vF '"time":"2026-12-08T21:00:00+01:00"' "$RUN/all.txt" >"$RUN/results.txt" || true
i=0
while IFS=, read -r tag key value; do
  i=$((i + 1))
  line=$(sed -n "${i}p" "$RUN/results.txt")
  [[ ${line%% *} == "ovcalc/out/${key%%.*}/${key#*.}" ]] || fail "result $i: $line"
  json=${line#* }
  [[ $(jq -r .time <<<"$json") == "2026-12-08T${tag#* }+01:00" ]] || fail "result $i: $json"
  want=$value
  [[ $value == -9999 ]] && want=null
  [[ $(jq -c .value <<<"$json") == "$want" ]] || fail "result $i: $json, want $value"
done <"$EXAMPLES/expected.txt"
last=$(cat "$RUN/published.txt")
[[ $(wc -l <"$RUN/published.txt") == 1 && ${last%% *} == ovcalc/out/RIVER1/Q ]] ||
  fail "the published record's result: $last"
say "the published record's result: ${last#* }"
grep -q '^connected: yes$' "$RUN/out.txt" && grep -q '^announced: 1$' "$RUN/out.txt" ||
  fail "ovbridge --status: $(cat "$RUN/out.txt")"
no_clients() { [[ -z $(bus_clients) ]]; }
wait_for 10 no_clients || fail "programs of the session are still running"
say "twelve results as expected; everything ended"
