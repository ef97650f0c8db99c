#!/usr/bin/env bash
# Suite databases for the demo, the tests and the benchmarks, each reached through an ODBC
# data source (DSN) of a private odbc.ini, never the machine's own files:
#
#   scripts/suite-db.sh sqlite DIR DSN SQL...     SQLite database DIR/DSN.db made from the SQL
#                                                 files, with its DSN
#   scripts/suite-db.sh pg-start DIR DSN SQL...   a throwaway PostgreSQL server in DIR/pg (in
#                                                 /tmp when DIR is too deep or closed to it) on
#                                                 a Unix socket only (no TCP), its database
#                                                 made from the SQL files, with its DSN
#   scripts/suite-db.sh pg-stop DIR               stops that server and removes it
#
# The DSNs go to DIR/odbc.ini and the drivers to DIR/odbcinst.ini; a DSN made again replaces
# the old one. On success the first two commands print the environment that selects them:
#   ODBCINI=DIR/odbc.ini ODBCSYSINI=DIR
# so that `env $(scripts/suite-db.sh sqlite ...) PROGRAM` or an export uses them. The
# PostgreSQL database's owner is the user "ov" (no password on the socket); a role given a
# password in the SQL logs in with it. Run as root, the server runs as the "postgres" user.
set -euo pipefail

usage() {
  sed -n '2,18p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
die() { echo "suite-db.sh: $*" >&2; exit 1; }

(($# >= 2)) || usage
COMMAND=$1
DIR=$2
shift 2
mkdir -p "$DIR"
DIR=$(cd "$DIR" && pwd)
PG="$DIR/pg"

# The first file of the drivers' folders that matches, e.g. libsqlite3odbc.so.
driver_path() {
  local f
  for f in /usr/lib/*/odbc/"$1" /usr/lib/odbc/"$1" /usr/lib64/"$1" /usr/lib/"$1"; do
    [[ -e $f ]] && { echo "$f"; return 0; }
  done
  die "ODBC driver $1 not found (scripts/install-deps.sh installs it)"
}

# Writes the drivers' file and puts section [$1] with the lines after it into odbc.ini,
# replacing an older one; under a lock, so that two runs on one folder do not mix.
write_dsn() {
  local dsn=$1; shift
  (
    flock 9
    {
      # DontDLClose: a driver stays loaded for the process, so that leak checkers can still
      # name the library that made an allocation it keeps to the end.
      echo "[OV SQLite3]"
      echo "Description=SQLite 3 ODBC driver"
      echo "Driver=$(driver_path libsqlite3odbc.so)"
      echo "DontDLClose=1"
      echo
      echo "[OV PostgreSQL]"
      echo "Description=PostgreSQL ODBC driver (Unicode)"
      echo "Driver=$(driver_path psqlodbcw.so)"
      echo "DontDLClose=1"
    } >"$DIR/odbcinst.ini.new"
    mv "$DIR/odbcinst.ini.new" "$DIR/odbcinst.ini"
    touch "$DIR/odbc.ini"
    awk -v dsn="[$dsn]" '
      /^\[/ { skip = ($0 == dsn) }
      !skip { print }' "$DIR/odbc.ini" >"$DIR/odbc.ini.new"
    { printf '[%s]\n' "$dsn"; printf '%s\n' "$@"; echo; } >>"$DIR/odbc.ini.new"
    mv "$DIR/odbc.ini.new" "$DIR/odbc.ini"
  ) 9>"$DIR/.odbc.lock"
  echo "ODBCINI=$DIR/odbc.ini ODBCSYSINI=$DIR"
}

check_sql() {
  (($# > 0)) || usage
  local f
  for f in "$@"; do [[ -r $f ]] || die "cannot read $f"; done
}

# Runs a command as the server's user: "postgres" when we are root, else ourselves.
as_server() {
  if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi
}

pg_bin() {
  local bin
  bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [[ -n $bin && -x $bin/initdb ]] || die "PostgreSQL not found (scripts/install-deps.sh installs it)"
  echo "$bin"
}

# The server's folder (data, socket, logs): DIR/pg, or one in /tmp that DIR/pg/home names.
pg_home() { if [[ -f $PG/home ]]; then cat "$PG/home"; else echo "$PG"; fi; }

pg_stop() {
  [[ -d $PG ]] || return 0
  local bin home
  bin=$(pg_bin)
  home=$(pg_home)
  if [[ -f $home/data/postmaster.pid ]]; then
    as_server "$bin/pg_ctl" -D "$home/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
  fi
  [[ $home == /tmp/ovpg.* ]] && rm -rf "$home"
  rm -rf "$PG"
}

case $COMMAND in
  sqlite)
    (($# >= 2)) || usage
    DSN=$1; shift
    check_sql "$@"
    command -v sqlite3 >/dev/null || die "sqlite3 not found (scripts/install-deps.sh installs it)"
    DB="$DIR/$DSN.db"
    rm -f "$DB" "$DB.new"
    cat "$@" | sqlite3 -bail "$DB.new" || die "the SQL did not load into $DB"
    mv "$DB.new" "$DB"
    # NoCreat: a missing database file is an error, not a new empty database.
    write_dsn "$DSN" "Driver=OV SQLite3" "Database=$DB" "Timeout=5000" "NoCreat=1"
    ;;
  pg-start)
    (($# >= 2)) || usage
    DSN=$1; shift
    check_sql "$@"
    BIN=$(pg_bin)
    pg_stop
    mkdir -p "$PG"
    HOME_DIR="$PG"
    if [[ $(id -u) -eq 0 ]]; then
      chown postgres: "$PG"
      runuser -u postgres -- test -w "$PG" || HOME_DIR=""  # a folder above is closed to others
    fi
    # A socket path is limited to about 100 bytes: a deep folder gets a short one in /tmp.
    if [[ -z $HOME_DIR ]] || ((${#HOME_DIR} > 80)); then
      HOME_DIR=$(mktemp -d /tmp/ovpg.XXXXXX)
      echo "$HOME_DIR" >"$PG/home"
      [[ $(id -u) -ne 0 ]] || chown postgres: "$HOME_DIR"
    fi
    SOCK="$HOME_DIR"
    as_server "$BIN/initdb" -D "$HOME_DIR/data" -U ov -A trust -E UTF8 --no-locale -N \
      >"$PG/initdb.log" 2>&1 || { cat "$PG/initdb.log" >&2; die "initdb failed"; }
    as_server tee -a "$HOME_DIR/data/postgresql.conf" >/dev/null <<EOF
listen_addresses = ''
unix_socket_directories = '$SOCK'
port = 5432
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 40
shared_buffers = 32MB
EOF
    # Roles with a password log in with it; the owner "ov" needs none.
    as_server tee "$HOME_DIR/data/pg_hba.conf" >/dev/null <<EOF
local all ov trust
local all all scram-sha-256
EOF
    as_server "$BIN/pg_ctl" -D "$HOME_DIR/data" -l "$HOME_DIR/server.log" -w -t 60 start \
      >/dev/null || { cat "$HOME_DIR/server.log" >&2; die "the PostgreSQL server did not start"; }
    "$BIN/createdb" -h "$SOCK" -U ov ovsuite || die "createdb failed"
    cat "$@" | "$BIN/psql" -h "$SOCK" -U ov -d ovsuite -q -v ON_ERROR_STOP=1 >/dev/null ||
      die "the SQL did not load into PostgreSQL"
    write_dsn "$DSN" "Driver=OV PostgreSQL" "Servername=$SOCK" "Port=5432" "Database=ovsuite" \
      "Username=ov"
    ;;
  pg-stop)
    pg_stop
    ;;
  *)
    usage
    ;;
esac
