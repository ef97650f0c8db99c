#!/usr/bin/env bash
# Command-line contract of "ovtool replay": the example's feed replays to exactly its expected
# records (from a file, standard input, a .gz file, and with the files found beside the
# program); --from/--to; what cannot be read (a line that is no data line, a missing file, a
# .gz file cut short) is said with its place while the rest is replayed; the exit statuses.
# Usage: ovtool_replay_test.sh PATH_TO_OVTOOL EXAMPLES
set -u
OVTOOL=$1 EXAMPLES=$2
export LC_ALL=C
failures=0
passes=0
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
OUT=$DIR/.stdout ERR=$DIR/.stderr

fail() {
  echo "FAIL $1"
  echo "  status $status; stdout (head):"; head -n 5 "$OUT" | sed 's/^/    /'
  echo "  stderr:"; sed 's/^/    /' "$ERR"
  failures=$((failures + 1))
}
# run ARGS...: ovtool replay with the example's configuration and settings unless given.
run() {
  "$OVTOOL" replay "$@" >"$OUT" 2>"$ERR"
  status=$?
}
example() { run --config "$EXAMPLES/OVCalc.OVG" --setup "$EXAMPLES/OVSetup.ini" "$@"; }
# check NAME COND: counts a pass or a failure.
check() {
  if eval "$2"; then passes=$((passes + 1)); else fail "$1"; fi
}
summary() { tail -n 1 "$ERR"; }
SUMMARY_RE='^ovtool replay: [0-9]+ lines? read, [0-9]+ records?, [0-9]+ calculation errors?, [0-9]+ input errors?(, [0-9]+ lines? outside --from/--to)?, [0-9]+\.[0-9][0-9] s, [0-9]+ lines/s$'

# The example, every way of reading it.
example "$EXAMPLES/feed.txt"
check "example" '((status == 0)) && cmp -s "$OUT" "$EXAMPLES/expected.txt" &&
  [[ $(summary) =~ $SUMMARY_RE && $(summary) == "ovtool replay: 24 lines read, 11 records, 0 calculation errors, 0 input errors, "* ]]'
check "example: the status lines" '[[ $(head -n -1 "$ERR") == "Calculation thread started."$'"'"'\n'"'"'"Calcuation thread stopped." ]]'
example - <"$EXAMPLES/feed.txt"
check "standard input" '((status == 0)) && cmp -s "$OUT" "$EXAMPLES/expected.txt"'
gzip -c "$EXAMPLES/feed.txt" >"$DIR/feed.txt.gz"
example "$DIR/feed.txt.gz"
check ".gz file" '((status == 0)) && cmp -s "$OUT" "$EXAMPLES/expected.txt"'
# Two files are one archive: the second half's deferred record still comes last.
head -n 12 "$EXAMPLES/feed.txt" >"$DIR/first.txt"
tail -n +13 "$EXAMPLES/feed.txt" >"$DIR/second.txt"
example "$DIR/first.txt" "$DIR/second.txt"
check "two files" '((status == 0)) && cmp -s "$OUT" "$EXAMPLES/expected.txt"'
# Without --config and --setup: the files beside the program, as OV Calc and ovsetup read them.
mkdir "$DIR/bin"
cp "$OVTOOL" "$EXAMPLES/OVCalc.OVG" "$EXAMPLES/OVSetup.ini" "$DIR/bin/"
cp -r "$EXAMPLES/tables" "$DIR/bin/"
"$DIR/bin/$(basename "$OVTOOL")" replay "$EXAMPLES/feed.txt" >"$OUT" 2>"$ERR"
status=$?
check "files beside the program" '((status == 0)) && cmp -s "$OUT" "$EXAMPLES/expected.txt"'

# A time range: the lines of its ends are in it.
example --to "12/08/2026 20:14:50" "$EXAMPLES/feed.txt"
check "--to" '((status == 0)) && [[ $(cat "$OUT") == "$(head -n 2 "$EXAMPLES/expected.txt")" ]] &&
  [[ $(summary) == *", 7 lines outside --from/--to, "* ]]'
example --from "12/08/2026 20:44:58" "$EXAMPLES/feed.txt"
check "--from" '((status == 0)) && [[ $(cat "$OUT") == "$(tail -n 2 "$EXAMPLES/expected.txt")" ]]'
example --from 1323463200 --to=1323463200 "$EXAMPLES/feed.txt"
check "--from/--to as time tags" '((status == 0)) && [[ ! -s $OUT ]]'

# What cannot be read is said with its place; everything else is replayed; status 2.
printf '%s\n' '$REALTIME 12/08/2026 20:00:10,RIVER1.HG,1.82' 'garbage' \
  '$REALTIME 12/08/2026 20:14:50,RIVER1.HG,1.95' >"$DIR/bad.txt"
# A long feed, compressed and cut in the middle of its data.
for i in $(seq 1 3000); do
  printf '$REALTIME 12/09/2026 %02d:%02d:%02d,RIVER1.HG,%d.%02d\n' $((i / 3600)) $((i / 60 % 60)) \
    $((i % 60)) $((1 + i % 3)) $((i % 100))
done | gzip -c >"$DIR/long.gz"
head -c $(($(stat -c %s "$DIR/long.gz") / 2)) "$DIR/long.gz" >"$DIR/cut.gz"
example "$DIR/bad.txt" "$DIR/missing.txt" "$DIR/cut.gz" "$EXAMPLES/feed.txt"
cut_line=$(sed -n 's/^.*cut\.gz:\([0-9]*\): the compressed data ends early: the rest of the file is lost$/\1/p' "$ERR")
check "bad input: said" '((status == 2)) &&
  grep -qxF "$DIR/bad.txt:2: not a data line (its item is not \$GOESTIMED, \$GOESRANDOM, \$TIMETAG or \$REALTIME): garbage" "$ERR" &&
  grep -qxF "$DIR/missing.txt: cannot be read (No such file or directory)" "$ERR" &&
  [[ -n $cut_line ]] && ((cut_line > 100 && cut_line < 3000)) &&
  [[ $(summary) == *", 0 calculation errors, 3 input errors, "* ]]'
# The cut file's lines before the cut are replayed (one record each), the example after it too.
check "bad input: the rest replayed" '(($(grep -c "RIVER1.Q" "$OUT") == 2 + cut_line - 1 + 4)) &&
  [[ $(tail -n 11 "$OUT") == "$(cat "$EXAMPLES/expected.txt")" ]]'
# A file that is no archive: its line of 17 MiB is not kept, the line after it is replayed.
{ head -c 17825792 /dev/zero | tr '\0' x; echo; head -n 7 "$EXAMPLES/feed.txt" | tail -n 1; } >"$DIR/huge.txt"
example "$DIR/huge.txt"
check "a line too long" '((status == 2)) && [[ $(cat "$OUT") == "$(head -n 1 "$EXAMPLES/expected.txt")" ]] &&
  grep -qxF "$DIR/huge.txt:1: a line longer than 16 MiB is not a data line" "$ERR"'
example --no-keep-going "$DIR/bad.txt" "$EXAMPLES/feed.txt"
check "--no-keep-going" '((status == 2)) && (($(wc -l <"$OUT") == 1)) &&
  [[ $(summary) == *", 1 input error, "* ]]'

# A calculation that fails: status 1. Inches to millimetres overflows.
echo '$GOESTIMED 12/08/2026 20:15:00,RAIN1.PC,1e308' >"$DIR/fails.txt"
example "$DIR/fails.txt"
check "calculation error" '((status == 1)) && [[ ! -s $OUT ]] &&
  grep -q "^Error 1602: Error in computation - " "$ERR" &&
  [[ $(summary) == *", 0 records, 1 calculation error, 0 input errors, "* ]]'

# Usage errors: status 2, the message and the hint, nothing on standard output.
usage() {
  local name=$1 message=$2
  shift 2
  run "$@"
  check "$name" '((status == 2)) && [[ ! -s $OUT ]] &&
    [[ $(cat "$ERR") == "ovtool replay: $message"$'"'"'\n'"'"'"Try '"'"'ovtool replay --help'"'"'." ]]'
}
usage "no file" 'no input file given ("-" for standard input)'
usage "unknown option" "unknown option '--bogus'" --bogus "$EXAMPLES/feed.txt"
usage "bad --as" '--as takes decoder, eumetsat, rtu or modbus, not "radio"' --as radio x
usage "bad --from" '--from takes a time tag (a whole number, or month/day/year hours:minutes:seconds), not "noon"' --from noon x
usage "--from after --to" '--from lies after --to: no line could be replayed' --from 20 --to 10 x
usage "value missing" 'option --config needs a value' x --config
run --config "$DIR/none.OVG" --setup "$EXAMPLES/OVSetup.ini" "$EXAMPLES/feed.txt"
check "configuration missing" '((status == 2)) && [[ ! -s $OUT ]] && grep -q "none.OVG is not a file" "$ERR"'
run --config "$EXAMPLES/OVCalc.OVG" --setup "$DIR/none.ini" "$EXAMPLES/feed.txt"
check "settings missing" '((status == 2)) && [[ ! -s $OUT ]] && grep -q "none.ini" "$ERR"'
"$OVTOOL" replay --help >"$OUT" 2>"$ERR"
status=$?
check "--help" '((status == 0)) && grep -q "^Usage: ovtool replay" "$OUT" && grep -q "^Exit status" "$OUT"'

echo "ovtool replay: $passes passed, $failures failed"
((failures == 0))
