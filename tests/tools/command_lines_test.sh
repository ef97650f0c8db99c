#!/usr/bin/env bash
# Every program's command line keeps the same contract, without a display or a session bus:
# --version answers "PROG (OV Calc) VERSION" (the project's version) with status 0, --help
# answers with status 0 and tells the exit statuses, and a usage error is "PROG: what" and
# "Try 'PROG --help'." on standard error with status 2 and nothing on standard output.
#   command_lines_test.sh VERSION PROGRAM...
set -uo pipefail
VERSION=$1
shift
export LC_ALL=C QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
export DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/ovcalc-test-bus"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export XDG_RUNTIME_DIR=$WORK
failures=0
fail() { echo "command_lines: FAILED: $*"; failures=$((failures + 1)); }

# run PROGRAM ARGS...: sets status, out and err.
run() {
  out=$(timeout 20 "$@" 2>"$WORK/err") && status=0 || status=$?
  err=$(cat "$WORK/err")
}

for program in "$@"; do
  name=$(basename "$program")
  run "$program" --version
  [[ $status == 0 && $(head -n 1 <<<"$out") == "$name (OV Calc) $VERSION" ]] ||
    fail "$name --version: status $status, \"$out\" ($err)"
  run "$program" --help
  [[ $status == 0 && $out == *Usage:* && $out == *[Ee]xit\ status* && -z $err ]] ||
    fail "$name --help: status $status, no usage or no exit status ($err)"
  run "$program" --no-such-option
  [[ $status == 2 && -z $out &&
     $err == "$name: unknown option '--no-such-option'"$'\n'"Try '$name --help'." ]] ||
    fail "$name --no-such-option: status $status, standard error \"$err\""
  echo "command_lines: $name: --version, --help and a usage error as agreed"
done
((failures == 0)) || exit 1
