#!/usr/bin/env bash
# End to end: the example network's results through ovbridge to a broker of the test's own.
# Every record arrives on PREFIX/records complete and in order; each has its JSON message on
# PREFIX/out/STATION/SENSOR with the fields right (a UUID, the time with the zone's offset, the
# value or null for the null value, the group) and a WIS2 notification with every field; a new
# subscriber finds each sensor's last value retained; the engine's status says online, and
# offline after the bridge's end; ovbridge --status counts what went.
#   ovbridge_results.sh BIN EXAMPLES
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
source "$HERE/mqtt_support.sh"
BIN=$1 EXAMPLES=$2
e2e_start ovbridge-results
SUB_OPTIONS=()

dir="$RUN/app"
make_portable "$BIN" "$dir" "$EXAMPLES"
cp "$BIN/ovbridge" "$dir/"
ln -s "$EXAMPLES" "$dir/examples"
BRIDGE="$dir/ovbridge"
start_broker broker
say "mosquitto on port $BROKER_PORT"

cat >"$dir/ovbridge.ini" <<EOF
[Broker]
Host=127.0.0.1
Port=$BROKER_PORT
ReconnectMin=0.2
[Bridge]
Engine=river-office
TimeZone=Europe/Berlin
Groups=OVCalc.OVG
[WIS2]
Centre=xx-ov-test
DataPolicy=core
MetadataId=urn:wmo:md:xx-ov-test:ovcalc-results
Link=https://example.org/ovcalc/last/{station}/{sensor}
[WIS2 Stations]
RIVER1=47.3769,8.5417,408
RIVER2=47.05,8.31
RAIN1=46.95,7.45,540
MET1=46.2,6.15
BASIN=47.0,8.0
EOF

start_engine "$dir"
subscribe records "$RUN/records.txt" '%p' ovcalc/records
subscribe out "$RUN/out.txt" '%t %p' 'ovcalc/out/#'
subscribe wis2 "$RUN/wis2.txt" '%t %p' 'origin/a/wis2/#'

"$BRIDGE" "$dir/ovbridge.ini" 2>"$RUN/bridge.err" &
bridge=$!
status=$(mosquitto_sub -h 127.0.0.1 -p "$BROKER_PORT" -t ovcalc/status/river-office -C 1 -W 20) ||
  fail "no status message: $(cat "$RUN/bridge.err")"
[[ $(jq -r .state <<<"$status") == online && $(jq -r .engine <<<"$status") == river-office ]] ||
  fail "status: $status"
[[ $(jq -r .version <<<"$status") =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "no version: $status"
[[ $(jq -r .started <<<"$status") =~ ^20[0-9]{2}-[0-9]{2}-[0-9]{2}T[0-9:]{8}[+-][0-9]{2}:[0-9]{2}$ ]] ||
  fail "no start time: $status"
wait_for 20 grep -q "following OV Calc's results" "$RUN/bridge.err" ||
  fail "the bridge did not link OV Calc: $(cat "$RUN/bridge.err")"

(cd "$dir" && exec ./ovfeed --as decoder examples/feed.txt >/dev/null 2>"$RUN/feed.err")
wait_for 60 has_lines "$RUN/records.txt" 11 || fail "records: $(cat "$RUN/records.txt")"
wait_for 20 has_lines "$RUN/out.txt" 11 || fail "results: $(cat "$RUN/out.txt")"
wait_for 20 has_lines "$RUN/wis2.txt" 11 || fail "notifications: $(cat "$RUN/wis2.txt")"
sleep 1  # nothing more may come

# The records: complete, in order, nothing else.
diff "$EXAMPLES/expected.txt" "$RUN/records.txt" >&2 || fail "the records differ from expected.txt"
say "11 records in order on ovcalc/records"

# The JSON messages, in the records' order, each field as it must be.
uuid='^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$'
declare -A groups=([RIVER1.Q]=1 [RIVER2.Q]=2 [RAIN1.PCMM]=3 [MET1.TA]=4 [BASIN.TA]=5)
declare -A ids=()
i=0
while IFS= read -r record; do
  i=$((i + 1))
  IFS=, read -r tag key value <<<"$record"
  station=${key%%.*} sensor=${key#*.}
  line=$(sed -n "${i}p" "$RUN/out.txt")
  topic=${line%% *} json=${line#* }
  [[ $topic == "ovcalc/out/$station/$sensor" ]] || fail "message $i on $topic, not for $key"
  id=$(jq -r .id <<<"$json")
  [[ $id =~ $uuid ]] || fail "message $i: id $id is no UUID"
  [[ -z ${ids[$id]:-} ]] || fail "message $i: id $id given twice"
  ids[$id]=1
  # 12/08/2026 20:00:00 in Europe/Berlin
  want_time="2026-12-08T${tag#* }+01:00"
  [[ $(jq -r .time <<<"$json") == "$want_time" ]] || fail "message $i: time $(jq -r .time <<<"$json"), not $want_time"
  [[ $(jq -r .station <<<"$json") == "$station" && $(jq -r .sensor <<<"$json") == "$sensor" ]] ||
    fail "message $i: $json"
  if [[ $value == -9999 ]]; then
    [[ $(jq -c .value <<<"$json") == null ]] || fail "message $i: the null value not null: $json"
  else
    [[ $(jq '.value | type' <<<"$json") == '"number"' ]] || fail "message $i: value no number: $json"
    jq -e --argjson v "$value" '.value == $v' <<<"$json" >/dev/null || fail "message $i: value: $json, want $value"
  fi
  [[ $(jq -c .group <<<"$json") == "${groups[$key]}" ]] || fail "message $i: group: $json"
  [[ $(jq -c 'keys' <<<"$json") == '["group","id","sensor","station","time","value"]' ]] ||
    fail "message $i: fields: $json"

  # The WIS2 notification of the same result.
  wline=$(sed -n "${i}p" "$RUN/wis2.txt")
  wtopic=${wline%% *} wjson=${wline#* }
  [[ $wtopic == "origin/a/wis2/xx-ov-test/data/core/hydrology/experimental/$station/$sensor" ]] ||
    fail "notification $i on $wtopic"
  [[ $(jq -r .id <<<"$wjson") =~ $uuid && $(jq -r .id <<<"$wjson") != "$id" ]] ||
    fail "notification $i: id: $wjson"
  jq -e '.type == "Feature" and (.conformsTo | index("http://wis.wmo.int/spec/wnm/1/conf/core"))
         and .geometry.type == "Point" and (.geometry.coordinates | length >= 2)
         and (.links | length >= 1) and (.links[0].href | startswith("https://example.org/ovcalc/last/"))
         and .links[0].rel == "canonical"' <<<"$wjson" >/dev/null || fail "notification $i: $wjson"
  case $station in
    RIVER1) coordinates='[8.5417,47.3769,408]' ;;
    RIVER2) coordinates='[8.31,47.05]' ;;
    RAIN1) coordinates='[7.45,46.95,540]' ;;
    MET1) coordinates='[6.15,46.2]' ;;
    BASIN) coordinates='[8,47]' ;;
  esac
  [[ $(jq -c .geometry.coordinates <<<"$wjson") == "$coordinates" ]] ||
    fail "notification $i: coordinates $(jq -c .geometry.coordinates <<<"$wjson")"
  hms=${tag#* }
  utc="2026-12-08T$(printf '%02d' $((10#${hms%%:*} - 1))):${hms#*:}Z"
  jq -e --arg utc "$utc" --arg key "$station/$sensor" '
      .properties as $p
      | ($p.pubtime | test("^20[0-9]{2}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$"))
        and $p.datetime == $utc
        and $p.metadata_id == "urn:wmo:md:xx-ov-test:ovcalc-results"
        and ($p.data_id | startswith("xx-ov-test/data/core/hydrology/experimental/" + $key + "/"))
        and $p.content.encoding == "utf-8"
        and $p.content.size == ($p.content.value | utf8bytelength)' <<<"$wjson" >/dev/null ||
    fail "notification $i: properties: $wjson"
  [[ $(jq -r .properties.content.value <<<"$wjson") == "$json" ]] ||
    fail "notification $i: content is not the result's message: $wjson"
done <"$EXAMPLES/expected.txt"
say "11 result messages and 11 WIS2 notifications with every field right"

# A new subscriber sees every sensor's last value at once.
mosquitto_sub -h 127.0.0.1 -p "$BROKER_PORT" -t 'ovcalc/last/#' -F '%r %t %p' -W 5 -C 5 \
  >"$RUN/last.txt" || fail "retained last values: $(cat "$RUN/last.txt")"
for want in "RIVER1/Q null" "RIVER2/Q 10.608" "BASIN/TA 12.8" "RAIN1/PCMM 7.874" "MET1/TA 12.5"; do
  key=${want% *} value=${want#* }
  line=$(awk -v t="ovcalc/last/$key" '$2 == t' "$RUN/last.txt")
  [[ $line == "1 "* && $(jq -c .value <<<"${line#* * }") == "$value" ]] ||
    fail "last value of $key: [$line] in $(cat "$RUN/last.txt")"
done
say "every sensor's last value retained"
# The notifications are not retained: a new subscriber finds none.
mosquitto_sub -h 127.0.0.1 -p "$BROKER_PORT" -t 'origin/a/wis2/#' --retained-only -W 2 \
  >"$RUN/wis2-retained.txt" 2>/dev/null || true
[[ ! -s $RUN/wis2-retained.txt ]] || fail "notifications retained: $(cat "$RUN/wis2-retained.txt")"

st=$(bridge_status connected)
[[ $st == yes ]] || fail "status connected: $st"
[[ $(bridge_status "results in") == 11 && $(bridge_status "messages out") == 44 ]] ||
  fail "status counts: $("$BRIDGE" --status)"
[[ $(bridge_status queued) == 0 && $(bridge_status dropped) == 0 &&
   $(bridge_status protocol) == "MQTT 5" ]] || fail "status: $("$BRIDGE" --status)"

kill -TERM "$bridge"
rc=0
wait "$bridge" || rc=$?
((rc == 0)) || fail "the bridge ended with status $rc: $(cat "$RUN/bridge.err")"
status=$(mosquitto_sub -h 127.0.0.1 -p "$BROKER_PORT" -t ovcalc/status/river-office -C 1 -W 5)
[[ $(jq -r .state <<<"$status") == offline ]] || fail "status after the end: $status"
say "status online, then offline after the end; --status counted 11 records, 44 messages"
