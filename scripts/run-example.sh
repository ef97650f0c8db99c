#!/usr/bin/env bash
# The example scenario with the real programs on a private session bus: OV Calc on the example
# station network (which starts its setup server ovsetup), ovfeed as the decoder sending
# feed.txt, `ovclient watch` following the published result records; the records are compared
# with expected.txt and everything is ended with the setup server's shutdown event. Used by the
# demo (scripts/demo.sh) and by the end-to-end test, so both run the same scenario.
#
#   scripts/run-example.sh [--label NAME] [--limit SECONDS] OVCALC OVSETUP OVFEED OVCLIENT EXAMPLES
#
# OVCALC etc. are the built programs (OVCalc.html is taken from beside OVCALC when it is there),
# EXAMPLES the folder with OVCalc.OVG, OVSetup.ini, tables/, feed.txt and expected.txt. Messages
# begin with "[NAME]" (default "example"); --limit bounds the whole run (default 110 s).
# Exit status 0 when the records match exactly and OV Calc ended by itself with status 0.
# Every process started here (also the setup server OV Calc starts) is ended on the way out,
# whatever happened; no other bus than the private one is ever touched.
set -euo pipefail

LABEL=example
LIMIT=110
while (($#)); do
  case $1 in
    --label) LABEL=$2; shift 2 ;;
    --limit) LIMIT=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "run-example.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
if (($# != 5)); then
  echo "usage: run-example.sh [--label NAME] [--limit SECONDS] OVCALC OVSETUP OVFEED OVCLIENT EXAMPLES" >&2
  exit 2
fi
abs() { (cd "$(dirname "$1")" && printf '%s/%s\n' "$PWD" "$(basename "$1")"); }
SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
OVCALC=$(abs "$1"); OVSETUP=$(abs "$2"); OVFEED=$(abs "$3"); OVCLIENT=$(abs "$4")
EXAMPLES=$(abs "$5")
for program in "$OVCALC" "$OVSETUP" "$OVFEED" "$OVCLIENT"; do
  [[ -x $program ]] || { echo "run-example.sh: no program $program" >&2; exit 2; }
done
for file in OVCalc.OVG OVSetup.ini feed.txt expected.txt tables suite; do
  [[ -e $EXAMPLES/$file ]] || { echo "run-example.sh: no $file in $EXAMPLES" >&2; exit 2; }
done

# The example's texts are those of the C locale (decimal point, date and time separators).
export LC_ALL=C
RECORDS=$(grep -c . "$EXAMPLES/expected.txt")
END=$((SECONDS + LIMIT))
# Marks the moment the watch is linked; never a record (a record starts with its time tag).
PROBE='#linked'

say() { printf '[%s] %s\n' "$LABEL" "$*"; }

# OV Calc reads OVCalc.OVG from its executable's folder and starts the ovsetup beside it, which
# reads the OVSetup.ini beside itself: a run folder with copies, so the examples stay
# untouched. The settings name the table folder relative to themselves ("tables"): the run
# folder has a link by that name.
RUN=$(mktemp -d "${TMPDIR:-/tmp}/ovcalc-$LABEL.XXXXXX")
cp "$OVCALC" "$OVSETUP" "$RUN/"
[[ -f $(dirname "$OVCALC")/OVCalc.html ]] && cp "$(dirname "$OVCALC")/OVCalc.html" "$RUN/"
cp "$EXAMPLES/OVCalc.OVG" "$EXAMPLES/OVSetup.ini" "$RUN/"
ln -s "$EXAMPLES/tables" "$RUN/tables"
cd "$RUN"
CALC="$RUN/$(basename "$OVCALC")"
# OV Calc's instance locks live in the runtime folder, and the automation server's lock is one
# per runtime folder whatever the bus: a private one, so that another OV Calc on this machine
# (a user's, another test's) neither blocks this one's automation object nor is disturbed.
export XDG_RUNTIME_DIR="$RUN/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
SETUP="$RUN/$(basename "$OVSETUP")"

BUS_PID=""; FEED_PID=""; CALC_PID=""; WATCH_PID=""; TAIL_PID=""; SETUP_PID=""
# Ends what is still running: first politely, then for certain.
stop() {
  local pid alive
  for pid in "$@"; do kill "$pid" 2>/dev/null || true; done
  for _ in $(seq 30); do
    alive=0
    for pid in "$@"; do if kill -0 "$pid" 2>/dev/null; then alive=1; fi; done
    ((alive)) || return 0
    sleep 0.1
  done
  for pid in "$@"; do kill -KILL "$pid" 2>/dev/null || true; done
}
cleanup() {
  local status=$?
  set +e
  trap - EXIT INT TERM
  { exec 3>&-; } 2>/dev/null
  stop $WATCH_PID $TAIL_PID $FEED_PID $CALC_PID
  # The setup server was started by OV Calc, detached: asked to end on the bus, then by its
  # process id if it is still there.
  if [[ -n $BUS_PID ]]; then
    [[ -n $SETUP_PID ]] || SETUP_PID=$(bus_pid OVSetup.Applications)
    timeout 5 "$SETUP" --quit >/dev/null 2>&1
    [[ -n $SETUP_PID ]] && stop "$SETUP_PID"
    stop "$BUS_PID"
  fi
  cd /
  rm -rf "$RUN"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The example suite database (suite/) behind the settings' data source OVExample, in an
# odbc.ini of the run's own.
ODBC_ENV=$(bash "$SCRIPTS/suite-db.sh" sqlite "$RUN/suite-db" OVExample \
  "$EXAMPLES/suite/schema.sql" "$EXAMPLES/suite/stations.sql") ||
  { say "the example suite database could not be made"; exit 1; }
export $ODBC_ENV

# Seconds left of $1, within the whole run's limit.
left() { local rest=$((END - SECONDS)); ((rest < $1)) && echo $((rest > 0 ? rest : 0)) || echo "$1"; }
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local end=$((SECONDS + $(left "$1"))); shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}
bus_call() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    "org.freedesktop.DBus.$1" "string:$2" 2>/dev/null
}
name_has_owner() { bus_call NameHasOwner "$1" | grep -q "boolean true"; }
# The process id of the owner of bus name $1; nothing when it has none.
bus_pid() { bus_call GetConnectionUnixProcessID "$1" | awk '/uint32/ { print $2 }'; }
alive() { kill -0 "$1" 2>/dev/null; }
fail() {
  say "$*"
  for log in ovcalc ovfeed ovclient; do
    if [[ -s $RUN/$log.log ]]; then say "--- $log.log (end)"; tail -n 40 "$RUN/$log.log"; fi
  done
  exit 1
}

# A private session bus for every program of the scenario, a child of this script.
dbus-daemon --session --nofork --nosyslog --print-address=1 >"$RUN/bus.address" &
BUS_PID=$!
wait_for 10 grep -q . "$RUN/bus.address" || fail "dbus-daemon did not start"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$RUN/bus.address")
unset DBUS_STARTER_ADDRESS DBUS_STARTER_BUS_TYPE
say "private session bus $DBUS_SESSION_BUS_ADDRESS (pid $BUS_PID)"

# The decoder must run when OV Calc connects its data sources; its lines are written into the
# pipe only once OV Calc's calculation thread runs (lines sent before that reach nobody).
mkfifo "$RUN/feed"
"$OVFEED" --as decoder <"$RUN/feed" >"$RUN/ovfeed.log" 2>&1 &
FEED_PID=$!
exec 3>"$RUN/feed"
wait_for 30 name_has_owner OVDecode.OVDecodeCom || fail "ovfeed did not start"

PLATFORM=()
[[ -z ${DISPLAY:-} || ${QT_QPA_PLATFORM:-} == offscreen ]] && PLATFORM=(-platform offscreen)
say "starting OV Calc ${PLATFORM[*]:-(window)}; its status lines follow"
"$CALC" "${PLATFORM[@]}" 2> >(tee "$RUN/ovcalc.log" | sed -u 's/^/  ovcalc: /' >&2) &
CALC_PID=$!
wait_for 60 "$OVCLIENT" alive || fail "OV Calc did not take its bus name"
wait_for 60 grep -q "Calculation thread started." "$RUN/ovcalc.log" ||
  fail "OV Calc did not start its calculation thread"
SETUP_PID=$(bus_pid OVSetup.Applications)

"$OVCLIENT" watch >"$RUN/watch.txt" 2>"$RUN/ovclient.log" &
WATCH_PID=$!
# The watch is linked once a change of $TIMETAG reaches it.
linked() {
  "$OVCLIENT" set TIMETAG "$PROBE" && wait_for 1 grep -qx -- "$PROBE" "$RUN/watch.txt"
}
wait_for 30 linked || fail "ovclient watch did not link \$TIMETAG"
records() { grep -vx -- "$PROBE" "$RUN/watch.txt" || true; }

say "feeding $(basename "$EXAMPLES")/feed.txt as the decoder; result records:"
cat "$EXAMPLES/feed.txt" >&3
exec 3>&-

tail -n +1 -f "$RUN/watch.txt" --pid "$WATCH_PID" 2>/dev/null |
  grep --line-buffered -vx -- "$PROBE" | sed -u 's/^/  result: /' &
TAIL_PID=$!
# The last record comes one schedule delay after its line, at the thread's next idle step.
enough() { (($(records | wc -l) >= RECORDS)); }
wait_for 60 enough || say "only $(records | wc -l) of $RECORDS records arrived"

say "sending the setup server's shutdown event"
"$SETUP" --shutdown
# The watch ends when OV Calc has ended, after every record OV Calc published.
ended=1
wait_for 30 eval '! alive "$CALC_PID"' || { say "OV Calc did not end"; ended=0; }
calc_status=0
if ((ended)); then
  wait "$CALC_PID" || calc_status=$?
  CALC_PID=""
  ((calc_status == 0)) || say "OV Calc ended with status $calc_status"
fi
wait_for 10 eval '! alive "$WATCH_PID"' || true
stop $WATCH_PID
wait "$TAIL_PID" 2>/dev/null || true
WATCH_PID=""; TAIL_PID=""
timeout 5 "$SETUP" --quit >/dev/null 2>&1 || true
[[ -z $SETUP_PID ]] || wait_for 10 eval '! alive "$SETUP_PID"' || true
stop $FEED_PID
wait "$FEED_PID" 2>/dev/null || true
FEED_PID=""

records >"$RUN/results.txt"
if diff -u "$EXAMPLES/expected.txt" "$RUN/results.txt" >"$RUN/diff.txt" && ((ended)) &&
   ((calc_status == 0)); then
  say "all $RECORDS records as expected; everything ended"
  exit 0
fi
if [[ -s $RUN/diff.txt ]]; then
  say "the records differ from $(basename "$EXAMPLES")/expected.txt:"
  cat "$RUN/diff.txt"
fi
fail "the example scenario failed"
