#!/usr/bin/env bash
# A picture of OV Calc's main window on the example network: OV Calc runs under a virtual X
# server (Xvfb) on a private session bus with the example feed, and the window, its status list
# showing the session's lines, is written as a PNG (default build/screenshot.png).
# The filter dialog on the example suite database goes beside it (screenshot-filters.png), and
# so do the setup dialog on the example groups and the station/sensor picker (the folder
# screenshot-setup/: setup-dialog.png, setup-multiple.png, picker.png); all of them also into
# the folder OV_HELP_PICTURES when that is set (OV_HELP_PICTURES=src/app/help renews the help
# file's pictures).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
export LC_ALL=C
OUT=${1:-$ROOT/build/screenshot.png}
BUILD="$ROOT/build/demo"

say() { printf '[screenshot] %s\n' "$*"; }

bash scripts/install-deps.sh
missing=()
for p in xvfb x11-apps imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  say "installing ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

mkdir -p "$BUILD"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOV_BUILD_TESTS=OFF \
      -DOV_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j2 --target ovcalc ovsetup ovfeed

RUN=$(mktemp -d /tmp/ovcalc-shot.XXXXXX)
cp "$BUILD/bin/ovcalc" "$BUILD/bin/ovsetup" "$RUN/"
cp examples/OVCalc.OVG examples/OVSetup.ini "$RUN/"
cp -r examples/tables "$RUN/"

X_PID=""; BUS_PID=""; FEED_PID=""; CALC_PID=""
cleanup() {
  set +e
  [[ -n $CALC_PID ]] && kill "$CALC_PID" 2>/dev/null
  [[ -n $FEED_PID ]] && kill "$FEED_PID" 2>/dev/null
  [[ -n ${DBUS_SESSION_BUS_ADDRESS:-} ]] && timeout 3 "$RUN/ovsetup" --quit >/dev/null 2>&1
  [[ -n $BUS_PID ]] && kill "$BUS_PID" 2>/dev/null
  [[ -n $X_PID ]] && kill "$X_PID" 2>/dev/null
  exec 3>&- 2>/dev/null
  rm -rf "$RUN"
}
trap cleanup EXIT

wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

# A free display number for the virtual X server.
N=99
while [[ -e /tmp/.X11-unix/X$N || -e /tmp/.X$N-lock ]]; do N=$((N + 1)); done
Xvfb ":$N" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
X_PID=$!
export DISPLAY=":$N"
wait_for 10 xwininfo -root || wait_for 10 test -e "/tmp/.X11-unix/X$N"

BUS_INFO=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$BUS_INFO")
BUS_PID=$(sed -n 2p <<<"$BUS_INFO")

mkfifo "$RUN/feed"
"$BUILD/bin/ovfeed" --as decoder <"$RUN/feed" >/dev/null 2>&1 &
FEED_PID=$!
exec 3>"$RUN/feed"
sleep 1

"$RUN/ovcalc" 2>"$RUN/ovcalc.log" &
CALC_PID=$!
wait_for 25 grep -q "Calculation thread started." "$RUN/ovcalc.log" ||
  { say "OV Calc did not start its calculation thread"; cat "$RUN/ovcalc.log"; exit 1; }
cat examples/feed.txt >&3
exec 3>&-
# Until the time-tagged record is out too (its schedule delay, then the idle step).
sleep 8

# Without a window manager the window sits exactly at its placement: cut it out of the screen.
GEOMETRY=$(xwininfo -root -tree | grep -E "\"OV Calc[^\"]*\": \(" | grep -oE "[0-9]+x[0-9]+\+[0-9]+\+[0-9]+" | sort -t x -k1,1nr | head -1)
mkdir -p "$(dirname "$OUT")"
xwd -root -silent | convert xwd:- ${GEOMETRY:+-crop "$GEOMETRY"} +repage "$OUT"
say "wrote $OUT (window $GEOMETRY)"

"$RUN/ovsetup" --shutdown
wait_for 15 bash -c "! kill -0 $CALC_PID" && CALC_PID=""

# ---- The filter dialog on the example suite database (dialogshot), under the same X server.
cmake --build "$BUILD" -j2 --target dialogshot
ODBC_ENV=$(bash scripts/suite-db.sh sqlite "$RUN/suite-db" OVExample examples/suite/schema.sql \
  examples/suite/stations.sql)
FILTERS_OUT="$(dirname "$OUT")/$(basename "$OUT" .png)-filters.png"
env $ODBC_ENV "$BUILD/tools/dialogshot/dialogshot" filters OVExample "$FILTERS_OUT"
say "wrote $FILTERS_OUT"
if [[ -n ${OV_HELP_PICTURES:-} ]]; then
  cp "$FILTERS_OUT" "$OV_HELP_PICTURES/filters.png"
  say "wrote $OV_HELP_PICTURES/filters.png"
fi

# ---- The setup dialog on the example groups and the station/sensor picker (dialogshot), drawn
# offscreen: the sensor list shown over the focused cell wants an active window, which needs
# no window manager there.
SETUP_OUT="$(dirname "$OUT")/$(basename "$OUT" .png)-setup"
env $ODBC_ENV QT_QPA_PLATFORM=offscreen "$BUILD/tools/dialogshot/dialogshot" setup examples \
  OVExample "$SETUP_OUT"
say "wrote $SETUP_OUT/"
if [[ -n ${OV_HELP_PICTURES:-} ]]; then
  cp "$SETUP_OUT"/setup-dialog.png "$SETUP_OUT"/setup-multiple.png "$SETUP_OUT"/picker.png \
    "$OV_HELP_PICTURES/"
  say "wrote $OV_HELP_PICTURES/setup-dialog.png, setup-multiple.png, picker.png"
fi
