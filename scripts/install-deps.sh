#!/usr/bin/env bash
# Installs the Debian packages that OV Calc needs to build and test; only what is missing.
#   scripts/install-deps.sh [--checks]
# --checks: only what the checks that need no build use (tests/layer_check.sh needs nothing
# beyond bash and the base tools, tests/format_check.sh clang-format,
# tests/thread_safety_check.sh clang), so CI runs them first.
set -euo pipefail

PACKAGES=(
  cmake g++ ninja-build pkg-config ccache
  googletest libgtest-dev libgmock-dev libbenchmark-dev libmuparser-dev zlib1g-dev
  qt6-base-dev dbus-daemon libsystemd-dev libglib2.0-bin
  groff-base man-db bsdutils dpkg-dev
  clang libclang-rt-14-dev clang-format
  libqt6sql6-odbc unixodbc unixodbc-dev libsqliteodbc odbc-postgresql sqlite3 postgresql
  libmosquitto-dev mosquitto mosquitto-clients jq openssl tzdata
)
if [[ ${1-} == --checks ]]; then
  PACKAGES=(clang-format clang)
elif (($#)); then
  echo "usage: scripts/install-deps.sh [--checks]" >&2
  exit 2
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
