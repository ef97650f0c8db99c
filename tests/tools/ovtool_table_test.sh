#!/usr/bin/env bash
# Command-line contract of "ovtool table": output, standard error and exit status of each case,
# against a temporary folder of rating tables.
# Usage: ovtool_table_test.sh PATH_TO_OVTOOL
set -u
OVTOOL=$1
export LC_ALL=C
failures=0
passes=0
DIR=$(mktemp -d)
ERR=$DIR/.stderr
trap 'rm -rf "$DIR"' EXIT

printf ';Rating for the river gauge\r\nLINEAR\r\n0.5,0\r\n1.0,12.5\r\n2.0,48\r\n' >"$DIR/RIVER1.TBL"
printf 'gsloglog\n1.5,2,0.5,0\n2.5,8,0.5,0\n4.5,32,0.5,0\n' >"$DIR/gauge2.tbl"
printf 'LINEAR\n1,10\n1.0, 20\n' >"$DIR/ONE.TBL"
printf 'CUBIC\n0,0\n1,1\n' >"$DIR/CUBIC.TBL"
printf ';nothing but a note\n\n' >"$DIR/EMPTY.TBL"
mkdir "$DIR/v1.2"
cp "$DIR/RIVER1.TBL" "$DIR/v1.2/RIVER3.TBL"
cp "$DIR/RIVER1.TBL" "$DIR/RIVER.A"
cp "$DIR/RIVER1.TBL" "$DIR/--help.TBL"

# expect NAME STATUS STDOUT STDERR_SUBSTRING -- ARGS...
expect() {
  local name=$1 status=$2 want_out=$3 want_err=$4
  shift 5
  local out err rc
  out=$("$OVTOOL" "$@" 2>"$ERR")
  rc=$?
  err=$(cat "$ERR")
  if [[ $rc != "$status" || "$out" != "$want_out" || "$err" != *"$want_err"* ]]; then
    echo "FAIL $name: status $rc (want $status)"
    echo "  stdout: [$out] want [$want_out]"
    echo "  stderr: [$err] want to contain [$want_err]"
    failures=$((failures + 1))
    last_ok=0
  else
    passes=$((passes + 1))
    last_ok=1
  fi
}

# expect_quiet: as expect, and nothing at all on standard error.
expect_quiet() {
  expect "$@"
  if [[ $last_ok == 1 && -s $ERR ]]; then
    echo "FAIL $1: unexpected standard error: $(cat "$ERR")"
    failures=$((failures + 1))
    passes=$((passes - 1))
  fi
}

expect_quiet "example" 0 "30.25" "" -- table --tables "$DIR" RIVER1 1.5
expect_quiet "several stages, extrapolated both ways" 0 $'12.5\n48\n83.5\n-12.5' "" \
  -- table --tables "$DIR" RIVER1 1 2 3 0
expect_quiet "negative stage is positional" 0 "-25" "" -- table --tables "$DIR" RIVER1 -0.5
expect_quiet "--tables=DIR" 0 "30.25" "" -- table "--tables=$DIR" RIVER1 1.5
expect_quiet "letter case of the file" 0 "18" "" -- table --tables "$DIR" GAUGE2 3.5
expect_quiet "folder with a dot keeps .TBL" 0 "30.25" "" -- table --tables "$DIR/v1.2" RIVER3 1.5
expect_quiet "name with a dot gets no .TBL" 0 "30.25" "" -- table --tables "$DIR" RIVER.A 1.5
expect_quiet "name with a backslash is a path" 0 "30.25" "" \
  -- table --tables /nonexistent "$DIR\\v1.2\\RIVER3" 1.5
expect_quiet "-- ends the options" 0 "30.25" "" -- table --tables "$DIR" -- --help 1.5
expect_quiet "blanks around a stage" 0 "30.25" "" -- table --tables "$DIR" RIVER1 " 1.5 "

expect "missing table passes through" 0 $'1.5\n-2' \
  "ovtool table: NOPE: no rating table file $DIR/NOPE.TBL; values pass through unchanged" \
  -- table --tables "$DIR" NOPE 1.5 -2
expect "one valid point" 0 "1.5" "has only one valid point; a table needs two" \
  -- table --tables "$DIR" ONE 1.5
expect "no kind" 0 "1.5" "names none of LINEAR, SEMILOGY" -- table --tables "$DIR" CUBIC 1.5
expect "no kind line" 0 "1.5" "has no kind line" -- table --tables "$DIR" EMPTY 1.5

expect "bad stage does not stop the others" 1 $'30.25\n48' \
  "ovtool table: '1,5' is not a number" -- table --tables "$DIR" RIVER1 1.5 1,5 2
expect "nan is no stage" 1 "" "'nan' is not a number" -- table --tables "$DIR" RIVER1 nan
expect "no name" 2 "" "no table name given" -- table --tables "$DIR"
expect "no stage" 2 "" "no stage given for table RIVER1" -- table --tables "$DIR" RIVER1
expect "option without its value" 2 "" "option --tables needs a value" -- table --tables
expect "help" 0 "$("$OVTOOL" table --help)" "" -- table --help
help=$("$OVTOOL" table --help)
if [[ $help != "Usage: ovtool table [--tables DIR] NAME X [X ...]"* ]]; then
  echo "FAIL help text: [$help]"
  failures=$((failures + 1))
fi

echo "ovtool table: $passes passed, $failures failed"
[[ $failures == 0 ]]
