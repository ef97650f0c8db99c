#!/usr/bin/env bash
# The suite databases of the database tests, made before them and removed after them (a CTest
# fixture): the example suite database in SQLite (DSN OVSuiteSQLite) and in a throwaway
# PostgreSQL server (DSN OVSuitePg, with the roles of pg_roles.sql), and a catalogue of 10^5
# rows in SQLite (DSN OVSuiteLarge), and an SQLite database without the suite's tables (DSN
# OVNoSuite); all in DIR with its own odbc.ini.
#   suite_db_fixture.sh start|stop DIR
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
DB="$ROOT/scripts/suite-db.sh"
SUITE="$ROOT/examples/suite"
(($# == 2)) || { echo "usage: suite_db_fixture.sh start|stop DIR" >&2; exit 2; }
DIR=$2
case $1 in
  start)
    bash "$DB" pg-stop "$DIR" 2>/dev/null || true
    rm -rf "$DIR"
    bash "$DB" sqlite "$DIR" OVSuiteSQLite "$SUITE/schema.sql" "$SUITE/stations.sql" >/dev/null
    bash "$DB" sqlite "$DIR" OVSuiteLarge "$SUITE/schema.sql" "$HERE/catalogue_1e5.sql" >/dev/null
    bash "$DB" sqlite "$DIR" OVNoSuite "$HERE/no_tables.sql" >/dev/null
    bash "$DB" pg-start "$DIR" OVSuitePg "$SUITE/schema.sql" "$SUITE/stations.sql" \
      "$HERE/pg_roles.sql" >/dev/null
    echo "suite databases ready in $DIR"
    ;;
  stop)
    bash "$DB" pg-stop "$DIR"
    rm -rf "$DIR"
    ;;
  *)
    echo "usage: suite_db_fixture.sh start|stop DIR" >&2
    exit 2
    ;;
esac
