#!/usr/bin/env bash
# Command-line contract of ovtool: output, standard error and exit status of each case.
# Usage: ovtool_test.sh PATH_TO_OVTOOL
set -u
OVTOOL=$1
export LC_ALL=C
failures=0
passes=0

# expect NAME STATUS STDOUT STDERR_SUBSTRING -- ARGS...
expect() {
  local name=$1 status=$2 want_out=$3 want_err=$4
  shift 5
  local out err rc
  out=$("$OVTOOL" "$@" 2>/tmp/ovtool_err.$$)
  rc=$?
  err=$(cat /tmp/ovtool_err.$$)
  if [[ $rc != "$status" || "$out" != "$want_out" || "$err" != *"$want_err"* ]]; then
    echo "FAIL $name: status $rc (want $status)"
    echo "  stdout: [$out] want [$want_out]"
    echo "  stderr: [$err] want to contain [$want_err]"
    failures=$((failures + 1))
  else
    passes=$((passes + 1))
  fi
}

expect "tag to text" 0 "12/08/2026 20:41:05" "" -- timetag 1323463265
expect "text to tag" 0 "1323463265" "" -- timetag "12/08/2026 20:41:05"
expect "several values" 0 $'12/31/1984 00:00:00\n86400' "" -- timetag 0 "01/01/1985 00:00:00"
expect "negative tag" 1 "" "-1 is before the first time tag" -- timetag -1
expect "neither" 1 "" "'12-08-2026' is neither a time tag nor a date-time text" -- timetag 12-08-2026
expect "bad value does not stop the others" 1 "01/01/1985 00:00:00" "is neither" -- timetag junk 86400
expect "trailing text" 1 "" "is neither" -- timetag "12/08/2026 20:41:05x"
expect "no value" 2 "" "no value given" -- timetag
expect "help" 0 "$("$OVTOOL" timetag --help)" "" -- timetag --help
expect "unknown command" 2 "" "unknown command 'frobnicate'" -- frobnicate

rm -f /tmp/ovtool_err.$$
echo "ovtool: $passes passed, $failures failed"
[[ $failures == 0 ]]
