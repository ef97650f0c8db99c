#!/usr/bin/env bash
# Shared by the end-to-end scripts: a run folder of their own, a private session bus, a private
# runtime folder (OV Calc's instance locks), no display, the C locale; and a clean-up that ends
# every process of the run (also those started detached, found as owners of names on the
# private bus) and removes the folder, whatever happened. Source it, then call e2e_start LABEL.
set -euo pipefail

e2e_start() {
  LABEL=$1
  RUN=$(mktemp -d "${TMPDIR:-/tmp}/ovcalc-$LABEL.XXXXXX")
  BUS_PID=""
  trap e2e_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  export LC_ALL=C
  unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_STARTER_ADDRESS DBUS_STARTER_BUS_TYPE
  export XDG_RUNTIME_DIR="$RUN/runtime"
  export XDG_CONFIG_HOME="$RUN/config"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  local info
  info=$(dbus-daemon --session --fork --nosyslog --print-address=1 --print-pid=1)
  export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$info")
  BUS_PID=$(sed -n 2p <<<"$info")
}

say() { printf '[%s] %s\n' "$LABEL" "$*"; }
fail() { say "FAILED: $*"; exit 1; }

bus_call() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    "org.freedesktop.DBus.$1" ${2:+"string:$2"} 2>/dev/null
}
name_has_owner() { bus_call NameHasOwner "$1" | grep -q "boolean true"; }
bus_pid() { bus_call GetConnectionUnixProcessID "$1" | awk '/uint32/ { print $2 }'; }
alive() { kill -0 "$1" 2>/dev/null; }

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local end=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

# Ends the processes given: politely, then for certain.
stop_pids() {
  local pid
  for pid in "$@"; do kill "$pid" 2>/dev/null || true; done
  for _ in $(seq 30); do
    local any=0
    for pid in "$@"; do alive "$pid" && any=1; done
    ((any)) || return 0
    sleep 0.1
  done
  for pid in "$@"; do kill -KILL "$pid" 2>/dev/null || true; done
}

# Every connection's process on the private bus but the bus's own.
bus_clients() {
  local name
  for name in $(bus_call ListNames | awk -F'"' '/string ":/ { print $2 }'); do
    bus_pid "$name"
  done | sort -u | grep -vx "${BUS_PID:-0}" || true
}

e2e_cleanup() {
  local status=$?
  set +e
  trap - EXIT INT TERM
  if [[ -n ${BUS_PID:-} ]]; then
    stop_pids $(jobs -p) $(bus_clients)
    stop_pids "$BUS_PID"
  fi
  rm -rf "$RUN"
  exit "$status"
}

# A portable OV Calc in folder $2 from the built programs of folder $1, with the example
# network's configuration, settings and rating tables beside it (the settings name the table
# folder relative to themselves).
make_portable() {
  local from=$1 to=$2 examples=$3
  mkdir -p "$to"
  cp "$from/ovcalc" "$from/ovsetup" "$from/ovfeed" "$from/ovclient" "$to/"
  [[ -f $from/OVCalc.html ]] && cp "$from/OVCalc.html" "$to/"
  cp "$examples/OVCalc.OVG" "$examples/OVSetup.ini" "$to/"
  cp -r "$examples/tables" "$to/"
}
