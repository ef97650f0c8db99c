#!/usr/bin/env bash
# End to end: OV Calc's configuration file against real faults, with the real ovcalc and ovsetup
# on a private session bus, in a private mount namespace of its own:
#   1. a hand-edited file: what is not read as written is in the status lines at start, and the
#      shutdown's write keeps it as written; temporary files left by a killed writer are
#      removed at start, one of a process that still runs is not;
#   2. the disk full (a small tmpfs filled up) and 3. the folder read-only (a read-only bind
#      mount) when the shutdown writes: the old file stays whole, no temporary file is left,
#      and the failure is on stderr.
#   config_faults.sh OVCALC OVSETUP
# Needs root (mounts) and unshare(1); without them it says why and exits 77 (skipped).
set -euo pipefail

if [[ ${OV_CONFIG_FAULTS_INSIDE:-} != 1 ]]; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "config_faults: skipped: mounting a full or read-only folder needs root"
    exit 77
  fi
  if ! unshare -m --propagation private true 2>/dev/null; then
    echo "config_faults: skipped: no private mount namespace (unshare -m) here"
    exit 77
  fi
  export OV_CONFIG_FAULTS_INSIDE=1
  exec unshare -m --propagation private bash "$0" "$@"
fi

(($# == 2)) || { echo "usage: config_faults.sh OVCALC OVSETUP" >&2; exit 2; }
# The shared helpers (wait_for, stop_pids); this script keeps its own bus, clean-up and tally.
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/e2e_support.sh"
OVCALC=$(realpath "$1"); OVSETUP=$(realpath "$2")
export LC_ALL=C QT_QPA_PLATFORM=offscreen

RUN=$(mktemp -d "${TMPDIR:-/tmp}/ovcalc-config-faults.XXXXXX")
APP=$RUN/app        # ovcalc and ovsetup; OVCalc.OVG there is a link into STORE
STORE=$RUN/store    # the folder the configuration is written in: the one made to fail
mkdir "$APP" "$STORE"
export XDG_RUNTIME_DIR=$RUN/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
# Hard links when the build is on the same file system (the program's folder is the folder of
# the path it was started by), copies otherwise.
ln "$OVCALC" "$APP/ovcalc" 2>/dev/null || cp "$OVCALC" "$APP/ovcalc"
ln "$OVSETUP" "$APP/ovsetup" 2>/dev/null || cp "$OVSETUP" "$APP/ovsetup"
ln -s "$STORE/OVCalc.OVG" "$APP/OVCalc.OVG"
printf '[DataServer]\nStorageOption=4\n' >"$APP/OVSetup.ini"

BUS_PID=""; CALC_PID=""
failures=0
passes=0
say() { printf '[config_faults] %s\n' "$*"; }
pass() { passes=$((passes + 1)); }
fail() { say "FAIL $*"; failures=$((failures + 1)); }

cleanup() {
  local status=$?
  set +e
  trap - EXIT
  [[ -n $CALC_PID ]] && stop_pids "$CALC_PID"
  if [[ -n $BUS_PID ]]; then
    timeout 5 "$APP/ovsetup" --quit >/dev/null 2>&1
    stop_pids "$BUS_PID"
  fi
  umount -l "$STORE" 2>/dev/null; umount -l "$STORE" 2>/dev/null
  cd /
  rm -rf "$RUN"
  exit "$status"
}
trap cleanup EXIT

dbus-daemon --session --nofork --nosyslog --print-address=1 >"$RUN/bus.address" &
BUS_PID=$!
wait_for 10 grep -q . "$RUN/bus.address" || { say "dbus-daemon did not start"; exit 1; }
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$RUN/bus.address")
unset DBUS_STARTER_ADDRESS DBUS_STARTER_BUS_TYPE

# Starts OV Calc (which starts its setup server) and waits until its refresh is through.
start_calc() {
  : >"$RUN/ovcalc.log"
  "$APP/ovcalc" -platform offscreen 2>"$RUN/ovcalc.log" &
  CALC_PID=$!
  wait_for 60 grep -q "Calculation thread started." "$RUN/ovcalc.log" || {
    say "OV Calc did not start its calculation thread:"; cat "$RUN/ovcalc.log"; exit 1; }
}
# The setup server's shutdown event closes OV Calc the way a user's exit does.
shutdown_calc() {
  "$APP/ovsetup" --shutdown
  wait_for 30 eval '! kill -0 "$CALC_PID"' || { say "OV Calc did not end"; exit 1; }
  wait "$CALC_PID" || true
  CALC_PID=""
  timeout 5 "$APP/ovsetup" --quit >/dev/null 2>&1 || true
  wait_for 10 eval '! dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner string:OVSetup.Applications | grep -q true' || true
}
expect_log() {
  if grep -qF -- "$1" "$RUN/ovcalc.log"; then pass; else fail "no status line [$1] in:"; cat "$RUN/ovcalc.log"; fi
}

# 1. A hand-edited file, and temporary files of writers that are gone or still running.
cat >"$STORE/OVCalc.OVG" <<'OVG'
[Calc]
LogDetail=1
ScheduleDelay=1e308
GroupNames=G1,Gone
[G1]
CGIndex=1
FuncName=H*2
Enabled=7
MultiStations=0
Filter=
OutputStation=RIVER1
OutputSensor=H2
VariablesName=H,X
VariablesValue=HG
SimilarStations=
MultiVariablesName=
MultiVariablesValue=
MultiVariablesTrigger=-1
OVG
cp "$STORE/OVCalc.OVG" "$RUN/edited.OVG"
dead=$(sh -c 'echo $$')  # a process that has ended
printf '[Calc]\nLogDetail=' >"$STORE/.OVCalc.OVG.tmp$dead-0"
printf '[Calc]\nLogDetail=' >"$STORE/.OVCalc.OVG.tmp$$-0"
start_calc
[[ ! -e $STORE/.OVCalc.OVG.tmp$dead-0 ]] && pass || fail "a dead writer's temporary file stayed"
[[ -e $STORE/.OVCalc.OVG.tmp$$-0 ]] && pass || fail "a running writer's temporary file was removed"
rm -f "$STORE/.OVCalc.OVG.tmp$$-0"
expect_log "Error 1600: OVCalc.OVG line 3: ScheduleDelay=1e308 is not a delay from 0 to 0.125 days"
expect_log "Error 1600: OVCalc.OVG line 8: [G1] Enabled=7 is not 0 or 1; it reads as 1"
expect_log "Error 1600: OVCalc.OVG line 13: [G1] VariablesName has 2 names but VariablesValue 1 value"
expect_log "Error 1600: OVCalc.OVG line 4: GroupNames names Gone, but there is no section [Gone]"
shutdown_calc
# The window's placement is added at the end; everything before it is as the user wrote it.
sed '/^\[Windows Settings\]$/,$d' "$STORE/OVCalc.OVG" | sed '${/^$/d}' >"$RUN/after.OVG"
if cmp -s "$RUN/edited.OVG" "$RUN/after.OVG"; then pass; else
  fail "the shutdown rewrote what the user wrote:"; diff "$RUN/edited.OVG" "$STORE/OVCalc.OVG" || true
fi

# A file the shutdown must write to (its group lacks keys, which are written), checked after a
# write that failed: the same bytes, no temporary file, the failure on stderr.
write_fails() {
  local label=$1 says=$2
  if cmp -s "$RUN/before.OVG" "$STORE/OVCalc.OVG"; then pass; else
    fail "$label: the old file did not stay whole"
  fi
  if compgen -G "$STORE/.OVCalc.OVG.tmp*" >/dev/null; then fail "$label: a temporary file was left"; else pass; fi
  expect_log "Error 1600: Cannot write \"$APP/OVCalc.OVG\": $says; the file keeps its previous content"
  if grep -qi "saved" "$RUN/ovcalc.log"; then fail "$label: something was reported as saved"; else pass; fi
}
needs_write() {
  printf '[Calc]\nLogDetail=1\nScheduleDelay=0.000694444444444444\nGroupNames=G1\n[G1]\nCGIndex=1\nFuncName=H*2\nOutputStation=RIVER1\nOutputSensor=H2\nVariablesName=H\nVariablesValue=HG\n' >"$1"
}

# 2. The disk full.
mount -t tmpfs -o size=256k tmpfs "$STORE"
needs_write "$STORE/OVCalc.OVG"
cp "$STORE/OVCalc.OVG" "$RUN/before.OVG"
start_calc
dd if=/dev/zero of="$STORE/filler" bs=4k 2>/dev/null || true
shutdown_calc
write_fails "disk full" "No space left on device"
umount "$STORE"

# 3. The folder read-only.
needs_write "$STORE/OVCalc.OVG"
cp "$STORE/OVCalc.OVG" "$RUN/before.OVG"
start_calc
mount --bind "$STORE" "$STORE"
mount -o remount,bind,ro "$STORE"
shutdown_calc
write_fails "read-only" "Read-only file system"
umount "$STORE"

# And once the folder can be written again, the same shutdown saves the file.
start_calc
shutdown_calc
if grep -q "^Filter=" "$STORE/OVCalc.OVG"; then pass; else fail "the file was not written once it could be"; fi

say "$passes passed, $failures failed"
((failures == 0))
