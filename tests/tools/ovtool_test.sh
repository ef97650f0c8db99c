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
expect "last tag" 0 $'2147483647\n01/18/2053 03:14:07' "" -- timetag "01/18/2053 03:14:07" 2147483647
expect "after the last tag" 1 "" "'01/18/2053 03:14:08' is neither a time tag nor a date-time text from 12/31/1984 00:00:00 to 01/18/2053 03:14:07" -- timetag "01/18/2053 03:14:08"
expect "impossible date" 1 "" "is neither" -- timetag "99/99/9999 99:99:99"
expect "tag too large" 1 "" "is neither" -- timetag 2147483648
expect "no value" 2 "" "no value given" -- timetag
expect "help" 0 "$("$OVTOOL" timetag --help)" "" -- timetag --help
expect "unknown command" 2 "" "unknown command 'frobnicate'" -- frobnicate

# eval and vars
work=$(mktemp -d)
printf 'LINEAR\r\n0.5,0\r\n1.0,12.5\r\n2.0,48\r\n' > "$work/river1.tbl"
printf '[Params]\nSensor:OVTOOL:H,Shift=0.25\nSENSOR:OVTOOL:H,OFFSET=ERROR\nSENSOR:OVTOOL:H,RATINGTABLE=C:\\TABLES\\RIVER1.TBL\nSTATION:OVTOOL,ELEVATION=high\n' > "$work/setup.ini"
expect "eval" 0 "5" "" -- eval "SQRT(H*2.5)" H=10
expect "eval divide by zero" 1 "" "Error 1612: Divide by Zero." -- eval "7/0"
expect "eval unbound" 1 "" "Error 1603: Variable not found in poll group 0" -- eval "A+1"
expect "eval leading minus is the equation" 0 "-4" "" -- eval -2^2
expect "eval after --" 0 "-0.5" "" -- eval -- "-H" H=0.5
# Only --help is help: -h is the equation -H.
expect "eval -h is the equation" 0 "-0.5" "" -- eval -h H=0.5
expect "eval -h unbound" 1 "" "Error 1603: Variable not found in poll group 0" -- eval -h
expect "eval --help" 0 "$("$OVTOOL" eval --help)" "" -- eval --help
expect "vars -h is the equation" 0 "H" "" -- vars -h
expect "vars --help" 0 "$("$OVTOOL" vars --help)" "" -- vars --help
expect "eval negative value" 0 "-1" "" -- eval "H*2" H=-0.5
expect "eval general text" 0 "0.000694444444444444" "" -- eval "1/1440"
expect "eval large" 0 "1E20" "" -- eval "1E10*1E10"
expect "eval arithmetic fault" 1 "" "Invalid floating point operation" -- eval "SQRT(-1)"
expect "eval table" 0 "30.25" "" -- eval --tables "$work" "TABLE(RIVER1, H)" H=1.5
expect "eval setup answers" 0 "1.75" "" -- eval --setup "$work/setup.ini" "H + SHIFT(H) + OFFSET(H)" H=1.5
expect "eval dbtable" 0 "30.25" "" -- eval --tables "$work" --setup "$work/setup.ini" "DBTABLE(H, H)" H=1.5
expect "eval setup answer not a number" 1 "" "'high' is not a valid floating point value" -- eval --setup "$work/setup.ini" "ELEV(H)" H=1
expect "eval bad value" 2 "" "is not a number" -- eval "H" H=1,5
expect "eval bad binding" 2 "" "is not a NAME=VALUE binding" -- eval "H" H
expect "eval missing setup file" 2 "" "does not exist" -- eval --setup "$work/none.ini" "H" H=1
expect "eval no equation" 2 "" "no equation given" -- eval
expect "vars" 0 $'A\nB\nC' "" -- vars "A + SHIFT(B) + TABLE(T1, C) + LSTVAL(D, 0) + a"
expect "vars syntax error" 1 "" "Error 1608: Equation syntax error." -- vars "(A"
expect "vars help" 0 "$("$OVTOOL" vars --help)" "" -- vars --help

# check
cat > "$work/OVCalc.OVG" <<'OVG'
[Calc]
GroupNames=Good,Pitfalls,Broken,Multi
[Good]
CGIndex=1
FuncName=SQRT(H*2.5) + SHIFT(H)
OutputStation=RIVER1
OutputSensor=Q
VariablesName=H
VariablesValue=HG
[Pitfalls]
CGIndex=2
FuncName=2*-H + T A
OutputStation=RIVER1
OutputSensor=Q2
VariablesName=H,T,Z
VariablesValue=HG,TA,ZZ
[Broken]
CGIndex=3
FuncName=SQRT(H
OutputStation=RIVER1
OutputSensor=Q3
[Multi]
CGIndex=4
MultiStations=1
FuncName=(A+B)/2 + C
OutputStation=BASIN
OutputSensor=HAVG
MultiVariablesName=A,B
MultiVariablesValue=RIVER1.HG,HG
MultiVariablesTrigger=5
OVG
out=$("$OVTOOL" check "$work/OVCalc.OVG")
rc=$?
check_line() {
  if [[ "$out" != *"$1"* ]]; then
    echo "FAIL check: missing [$1] in:"; echo "$out"; failures=$((failures + 1))
  else
    passes=$((passes + 1))
  fi
}
[[ $rc == 1 ]] && passes=$((passes + 1)) || { echo "FAIL check status $rc"; failures=$((failures + 1)); }
check_line "group 2 [Pitfalls] -> RIVER1.Q2: warning: the sign at position 3 of \"2*-H + T A\" is read as the number 0"
check_line "group 2 [Pitfalls] -> RIVER1.Q2: warning: variable Z is bound but the equation does not use it"
check_line "group 3 [Broken] -> RIVER1.Q3: error: the equation \"SQRT(H\" fails the check: Error 1607: Invalid variable names in the function"
check_line "group 4 [Multi] -> BASIN.HAVG: error: variable C is used but not bound"
check_line "group 4 [Multi] -> BASIN.HAVG: warning: variable B is bound to 'HG', which has no station part"
check_line "group 4 [Multi] -> BASIN.HAVG: error: the trigger variable (index 5) is not one of the 2 bound variables"
check_line "4 groups checked: 3 errors, 6 warnings"
[[ "$out" != *"group 1 "* ]] && passes=$((passes + 1)) || { echo "FAIL check: findings for the good group"; failures=$((failures + 1)); }
expect "check missing file" 2 "" "is not a file" -- check "$work/none.OVG"

# check: what the file holds but OV Calc would not read as written counts as an error
printf '[Calc]\nScheduleDelay=1e308\nGroupNames=G,Gone\n[G]\nCGIndex=99999999999\nFuncName=H\nEnabled=7\nOutputStation=R\nOutputSensor=Q\nVariablesName=H,X\nVariablesValue=HG\nMultiVariablesTrigger=2147483648\n[G]\nCGIndex=2\n' > "$work/edited.OVG"
out=$("$OVTOOL" check "$work/edited.OVG")
rc=$?
[[ $rc == 1 ]] && passes=$((passes + 1)) || { echo "FAIL check edited status $rc"; failures=$((failures + 1)); }
check_line "edited.OVG: error: Error 1600: edited.OVG line 13: section [G] appears again (first on line 4); only the first is read"
check_line "edited.OVG: error: Error 1600: edited.OVG line 2: ScheduleDelay=1e308 is not a delay from 0 to 0.125 days"
check_line "edited.OVG: error: Error 1600: edited.OVG line 5: [G] CGIndex=99999999999 is not a group number from 1 to 999"
check_line "edited.OVG: error: Error 1600: edited.OVG line 7: [G] Enabled=7 is not 0 or 1; it reads as 1"
check_line "edited.OVG: error: Error 1600: edited.OVG line 10: [G] VariablesName has 2 names but VariablesValue 1 value: the name X has no value"
check_line "edited.OVG: error: Error 1600: edited.OVG line 12: [G] MultiVariablesTrigger=2147483648 is not a whole number"
check_line "edited.OVG: error: Error 1600: edited.OVG line 3: GroupNames names Gone, but there is no section [Gone]"
check_line "2 groups checked: 9 errors, 0 warnings"
head -c 3000 /bin/sh > "$work/junk.OVG"
out=$("$OVTOOL" check "$work/junk.OVG")
rc=$?
[[ $rc == 1 ]] && passes=$((passes + 1)) || { echo "FAIL check junk status $rc"; failures=$((failures + 1)); }
check_line "junk.OVG: error: Error 1600: junk.OVG is not a text file (a zero byte at offset"

# check --shards: the multiple-station groups whose stations fall to different shards
cat > "$work/shards.OVG" <<'OVG'
[Calc]
GroupNames=Across,Within,Single
[Across]
CGIndex=1
FuncName=(A + B) / 2
MultiStations=1
OutputStation=BASIN
OutputSensor=TA
MultiVariablesName=A,B
MultiVariablesValue=RIVER1.TA,river2.TA
MultiVariablesTrigger=1
[Within]
CGIndex=2
FuncName=A - B
MultiStations=1
OutputStation=BASIN
OutputSensor=D
MultiVariablesName=A,B
MultiVariablesValue=RIVER1.TA,MET1.TF
MultiVariablesTrigger=0
[Single]
CGIndex=3
FuncName=H * 2
OutputStation=RIVER2
OutputSensor=Q
VariablesName=H
VariablesValue=HG
OVG
out=$("$OVTOOL" check --shards 2 "$work/shards.OVG")
rc=$?
[[ $rc == 1 ]] && passes=$((passes + 1)) || { echo "FAIL check --shards status $rc"; failures=$((failures + 1)); }
check_line "group 1 [Across] -> BASIN.TA: error: its stations fall to different shards of 2: RIVER1 (shard 0), river2 (shard 1); no one engine receives all its values"
check_line "3 groups checked: 1 error, 0 warnings"
expect "check --shards 1: one engine" 0 "3 groups checked: 0 errors, 0 warnings" "" -- check --shards 1 "$work/shards.OVG"
# RIVER1, RIVER2 and MET1 hash to 1, 1 and 0 of 3.
expect "check --shards 3" 1 "group 2 [Within] -> BASIN.D: error: its stations fall to different shards of 3: RIVER1 (shard 1), MET1 (shard 0); no one engine receives all its values
3 groups checked: 1 error, 0 warnings" "" -- check --shards 3 "$work/shards.OVG"
expect "check --shards 0" 2 "" "--shards takes a number of shards from 1 to 1024, not \"0\"" -- check --shards 0 "$work/shards.OVG"
expect "check --shards x" 2 "" "--shards takes a number of shards from 1 to 1024, not \"x\"" -- check --shards x "$work/shards.OVG"

# check --setup: every rating table a group reads, by TABLE or through the RatingTable answer of
# DBTABLE's sensor at each station the group writes to, is looked for in the settings' table
# folder (a relative one from the settings file's folder, whatever the working folder); a
# missing one is an error, once per group and table; an unusable one, or a sensor without a
# table, a warning.
mkdir -p "$work/site/tables"
printf 'LINEAR\r\n0.5,0\r\n1.0,12.5\r\n' > "$work/site/tables/river1.tbl"
printf 'CUBIC\r\n0,0\r\n1,1\r\n' > "$work/site/tables/CUBIC.TBL"
printf '[General]\nTableDirectory=tables\n[Params]\nSensor:RIVER1:HG,RatingTable=C:\\TABLES\\RIVER2.TBL\nSensor:RIVER2:HG,RatingTable=RIVER1.TBL\n' > "$work/site/OVSetup.ini"
cat > "$work/tables.OVG" <<'OVG'
[Calc]
GroupNames=Found,Missing,Db,Unusable
[Found]
CGIndex=1
FuncName=TABLE(RIVER1, H)
OutputStation=RIVER1
OutputSensor=Q
VariablesName=H
VariablesValue=HG
[Missing]
CGIndex=2
FuncName=TABLE(RIVER9, H) + TABLE(river9, H * 2)
OutputStation=RIVER1
OutputSensor=Q2
VariablesName=H
VariablesValue=HG
[Db]
CGIndex=3
FuncName=DBTABLE(H, H)
OutputStation=RIVER1
OutputSensor=Q3
SimilarStations=RIVER2,RIVER3
VariablesName=H
VariablesValue=HG
[Unusable]
CGIndex=4
FuncName=TABLE(CUBIC, H)
OutputStation=RIVER1
OutputSensor=Q4
VariablesName=H
VariablesValue=HG
OVG
out=$(cd / && "$OVTOOL" check "$work/tables.OVG" --setup "$work/site/OVSetup.ini")
rc=$?
[[ $rc == 1 ]] && passes=$((passes + 1)) || { echo "FAIL check --setup status $rc"; failures=$((failures + 1)); }
check_line "group 2 [Missing] -> RIVER1.Q2: error: rating table RIVER9 not found in $work/site/tables: the stage passes through unchanged"
check_line "group 3 [Db] -> RIVER1.Q3: error: rating table RIVER2 not found in $work/site/tables: the stage passes through unchanged"
check_line "group 3 [Db] -> RIVER1.Q3: warning: DBTABLE(H, ...) finds no rating table for RIVER3.HG in the settings (no SENSOR:RIVER3:HG,RATINGTABLE)"
check_line "group 4 [Unusable] -> RIVER1.Q4: warning: rating table CUBIC: the kind line of $work/site/tables/CUBIC.TBL names none of"
check_line "4 groups checked: 2 errors, 2 warnings"
[[ "$out" != *"group 1 "* ]] && passes=$((passes + 1)) || { echo "FAIL check --setup: findings for the group whose table is there"; failures=$((failures + 1)); }
out=$("$OVTOOL" check "$work/tables.OVG")
check_line "4 groups checked: 0 errors, 0 warnings"
expect "check bad settings file" 2 "" "ovtool check: " -- check --setup "$work/none.ini" "$work/tables.OVG"

rm -rf "$work"

rm -f /tmp/ovtool_err.$$
echo "ovtool: $passes passed, $failures failed"
[[ $failures == 0 ]]
