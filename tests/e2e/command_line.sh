#!/usr/bin/env bash
# End to end: ovcalc's command line without a display (DISPLAY, WAYLAND_DISPLAY and
# QT_QPA_PLATFORM unset) and without a session bus: --help and --version answer with status 0,
# also beside Qt's own options; a missing bus is a plain message and status 1; an unknown
# option or an argument is a usage error, status 2.
#   command_line.sh OVCALC
set -euo pipefail
OVCALC=$1
export LC_ALL=C
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/ovcalc-test-bus"
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fail() { echo "command_line: FAILED: $*"; exit 1; }

# args | expected status | a line the output must hold (standard output for 0, else error)
while IFS='|' read -r args expected needle; do
  out=$(timeout 20 "$OVCALC" $args 2>"$XDG_RUNTIME_DIR/err") && status=0 || status=$?
  err=$(cat "$XDG_RUNTIME_DIR/err")
  ((status == expected)) || fail "ovcalc $args: status $status, not $expected ($err)"
  text=$out
  ((expected == 0)) || text=$err
  grep -qF -- "$needle" <<<"$text" || fail "ovcalc $args: no \"$needle\" in: $text"
  echo "ovcalc $args: status $status, \"$needle\""
done <<'CASES'
--help|0|Usage:
-h|0|--version
--version|0|ovcalc (OV Calc) 1.
-platform offscreen --version|0|ovcalc (OV Calc) 1.
--help-all|0|-platform NAME
--help|0|~/.config/ovcalc/
|1|cannot reach the session bus: 
--frobnicate|2|Try 'ovcalc --help'.
-platform offscreen --frobnicate|2|unknown option '--frobnicate'
somefile|2|unexpected argument 'somefile'
CASES
