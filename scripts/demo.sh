#!/usr/bin/env bash
# The demo: OV Calc on the example station network (examples/), on a private session bus.
# Installs what is missing, builds, starts the decoder stand-in (ovfeed), OV Calc (which starts
# its setup server ovsetup), follows the published results with `ovclient watch`, feeds
# examples/feed.txt, compares the records with examples/expected.txt and ends everything with
# the setup server's shutdown event. Exit status 0 when the records match.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"   # the examples' table folder counts from here
export LC_ALL=C
BUILD="$ROOT/build/demo"
RECORDS=$(grep -c . examples/expected.txt)

say() { printf '[demo] %s\n' "$*"; }

bash scripts/install-deps.sh
say "building (Release, $BUILD)"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOV_BUILD_TESTS=OFF \
      -DOV_BUILD_BENCH=OFF > "$BUILD.cmake.log" 2>&1 || { cat "$BUILD.cmake.log"; exit 1; }
cmake --build "$BUILD" -j2 --target ovcalc ovsetup ovfeed ovclient

# OV Calc reads OVCalc.OVG from its executable's folder and starts the ovsetup beside it, which
# reads the OVSetup.ini beside itself: a run folder with copies, so examples/ stays untouched.
RUN=$(mktemp -d /tmp/ovcalc-demo.XXXXXX)
cp "$BUILD/src/app/ovcalc" "$BUILD/src/app/OVCalc.html" "$BUILD/tools/ovsetup/ovsetup" "$RUN/"
cp examples/OVCalc.OVG examples/OVSetup.ini "$RUN/"

BUS_PID=""; FEED_PID=""; CALC_PID=""; WATCH_PID=""
cleanup() {
  set +e
  for pid in $WATCH_PID $FEED_PID $CALC_PID; do kill "$pid" 2>/dev/null; done
  if [[ -n ${DBUS_SESSION_BUS_ADDRESS:-} && -x $RUN/ovsetup ]]; then
    timeout 3 "$RUN/ovsetup" --quit >/dev/null 2>&1
  fi
  [[ -n $BUS_PID ]] && kill "$BUS_PID" 2>/dev/null
  exec 3>&- 2>/dev/null
  rm -rf "$RUN"
}
trap cleanup EXIT

# A private session bus for every program of the demo.
BUS_INFO=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$BUS_INFO")
BUS_PID=$(sed -n 2p <<<"$BUS_INFO")
unset DBUS_STARTER_ADDRESS DBUS_STARTER_BUS_TYPE
say "private session bus $DBUS_SESSION_BUS_ADDRESS (pid $BUS_PID)"

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}
name_has_owner() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q "boolean true"
}
has_bus_tool() { command -v dbus-send >/dev/null; }

# The decoder must run when OV Calc connects its data sources; its lines are written into the
# pipe only once OV Calc's calculation thread runs (lines sent before that reach nobody).
mkfifo "$RUN/feed"
"$BUILD/tools/ovfeed/ovfeed" --as decoder <"$RUN/feed" >"$RUN/ovfeed.log" 2>&1 &
FEED_PID=$!
exec 3>"$RUN/feed"
if has_bus_tool; then wait_for 10 name_has_owner OVDecode.OVDecodeCom || { say "ovfeed did not start"; cat "$RUN/ovfeed.log"; exit 1; }; else sleep 1; fi

PLATFORM=()
[[ -z ${DISPLAY:-} ]] && PLATFORM=(-platform offscreen)
say "starting OV Calc ${PLATFORM[*]:-(window)}; its status lines follow"
"$RUN/ovcalc" "${PLATFORM[@]}" 2> >(tee "$RUN/ovcalc.log" | sed -u 's/^/  ovcalc: /' >&2) &
CALC_PID=$!
wait_for 20 "$BUILD/tools/ovclient/ovclient" alive || { say "OV Calc did not take its bus name"; exit 1; }
wait_for 25 grep -q "Calculation thread started." "$RUN/ovcalc.log" ||
  { say "OV Calc did not start its calculation thread"; exit 1; }

"$BUILD/tools/ovclient/ovclient" watch --count "$RECORDS" >"$RUN/results.txt" 2>"$RUN/ovclient.log" &
WATCH_PID=$!
sleep 1   # the watch links $TIMETAG
say "feeding examples/feed.txt as the decoder; result records:"
cat examples/feed.txt >&3
exec 3>&-

tail -n +1 -f "$RUN/results.txt" --pid "$WATCH_PID" 2>/dev/null | sed -u 's/^/  result: /' &
TAIL_PID=$!
end=$((SECONDS + 30))
while kill -0 "$WATCH_PID" 2>/dev/null && ((SECONDS < end)); do sleep 0.2; done
kill "$WATCH_PID" 2>/dev/null || true
wait "$TAIL_PID" 2>/dev/null || true
WATCH_PID=""

say "sending the setup server's shutdown event"
"$RUN/ovsetup" --shutdown
end=$((SECONDS + 15))
while kill -0 "$CALC_PID" 2>/dev/null && ((SECONDS < end)); do sleep 0.1; done
ended=1
if kill -0 "$CALC_PID" 2>/dev/null; then say "OV Calc did not end"; ended=0; else CALC_PID=""; fi
"$RUN/ovsetup" --quit >/dev/null 2>&1 || true
kill "$FEED_PID" 2>/dev/null || true
wait "$FEED_PID" 2>/dev/null || true
FEED_PID=""

if diff -u examples/expected.txt "$RUN/results.txt" >"$RUN/diff.txt" && ((ended)); then
  say "all $RECORDS records as expected; everything ended"
  exit 0
fi
say "the records differ from examples/expected.txt:"
cat "$RUN/diff.txt"
exit 1
