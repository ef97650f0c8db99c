#!/usr/bin/env bash
# Command-line contract of "ovtool catalogue" on the suite databases of the database tests'
# fixture (ODBCSYSINI names its folder): the SQL text and the tree of a view, the same from
# SQLite and PostgreSQL, a filter file, and the database's messages with exit status 1.
# Usage: ovtool_catalogue_test.sh PATH_TO_OVTOOL
set -u
OVTOOL=$1
export LC_ALL=C
# In a build with AddressSanitizer: the ODBC libraries keep allocations to the end, and Qt
# unloads them before the leak check can name them; ovtool's own part of the work is checked
# for leaks by the database tests (test_database).
export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
failures=0
passes=0
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
BASE="SELECT DISTINCT OV_SITES.STATION_ID, OV_SITESENSORS.SENSORNAME, OV_SITES.REPORTING_TIME, OV_SITES.REPORTING_INTERVAL, OV_SITES.BASIN, OV_SITES.DISTRICT, OV_SITES.CITY, OV_SITES.COUNTRY, OV_SITES.STATE, OV_SITES.COUNTY, OV_SITES.PRIMARY_CHANNEL, OV_SITES.RANDOM_CHANNEL FROM OV_SITES, OV_SITESENSORS WHERE (OV_SITES.STATION_ID = OV_SITESENSORS.STE_STATION_ID) "

# run ARGS...: sets out, err and rc.
run() {
  "$OVTOOL" catalogue "$@" >"$DIR/out" 2>"$DIR/err"
  rc=$?
  out=$(cat "$DIR/out")
  err=$(cat "$DIR/err")
}
check() {  # check NAME CONDITION...
  local name=$1; shift
  if "$@"; then
    passes=$((passes + 1))
  else
    echo "FAIL $name: status $rc"
    echo "  stdout: [$(head -c 2000 "$DIR/out")]"
    echo "  stderr: [$err]"
    failures=$((failures + 1))
  fi
}

run OVSuiteSQLite
check "stations view" eval '((rc == 0)) && [[ $(head -n 1 "$DIR/out") == "$BASE" && -z $err ]] &&
  [[ $(sed -n 2,4p "$DIR/out") == $'"'"'BASIN [16]\nBLUE1 [16]\nBLUE2 [16]'"'"' ]] &&
  (($(wc -l <"$DIR/out") == 42))'  # the SQL and 41 stations: PORT1 has no sensor

run --view 5 --tree picker OVSuiteSQLite ov
cp "$DIR/out" "$DIR/sqlite.out"
check "basin view, picker tree" eval '((rc == 0)) && grep -qx "<NULL> \[41\]" "$DIR/out" &&
  grep -A3 -x "  TEST1 \[16\]" "$DIR/out" | grep -qx "    T1 \[29\]"'
run --view=5 --tree=picker OVSuitePg ov
check "the same from PostgreSQL" eval '((rc == 0)) && cmp -s "$DIR/out" "$DIR/sqlite.out"'

printf "OV_SITES.BASIN   =  'Elk River' AND \r\nOV_SITES.PRIMARY_CHANNEL   >  33\r\n" >"$DIR/elk.flt"
run --filter "$DIR/elk.flt" --view 11 OVSuitePg guard right
check "filter file" eval '((rc == 0)) &&
  [[ $out == "$BASE AND OV_SITES.BASIN   =  '"'"'Elk River'"'"' AND "$'"'"'\r\n'"'"'"OV_SITES.PRIMARY_CHANNEL   >  33"$'"'"'\r\n\n34 [40]\n  ELKRN1 [16]\n35 [40]\n  ELKMET [16]'"'"' ]]'

printf "OV_SITES.BASIN = 'Elk River' AND\r\n" >"$DIR/bad.flt"
run --filter "$DIR/bad.flt" OVSuiteSQLite
check "filter that is not SQL" eval '((rc == 1)) && [[ $out == "$BASE AND "* && $err == *"catalogue query failed"* ]] &&
  (($(wc -l <"$DIR/out") == 2))'

run NoSuchSource
check "no such data source" eval '((rc == 1)) && [[ -z $out && $err == "Error 1617: Unable to connect to database - "*"Data source name not found"* ]]'
run OVSuitePg guard wrong
check "wrong password" eval '((rc == 1)) && [[ -z $out && $err == "Error 1617: "*"password authentication failed"* ]]'
run "  "
check "blank data source" eval '((rc == 1)) && [[ -z $out && $err == *"no data source given"* ]]'

for bad in "--view 13 OVSuiteSQLite" "--view 5x OVSuiteSQLite" "--tree leaves OVSuiteSQLite" "" \
           "OVSuiteSQLite ov pw extra" "--view"; do
  # shellcheck disable=SC2086
  run $bad
  check "usage error: $bad" eval '((rc == 2)) && [[ -z $out && -n $err ]]'
done
run --help
check "help" eval '((rc == 0)) && [[ $out == "Usage: ovtool catalogue"* && $out == *"12 View By Random Channel"* ]]'

echo "ovtool catalogue: $passes passed, $failures failed"
((failures == 0))
