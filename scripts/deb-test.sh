#!/usr/bin/env bash
# The Debian package of OV Calc, tried as a user would: builds it with `cpack -G DEB` in the
# demo's build folder (building what is missing first), checks its layout and its declared
# dependencies, installs it on this machine with apt (which brings in what it depends on),
# runs `ovcalc --version` and `ovtool eval "1+1"` from the installed programs, and removes it
# again, also when something failed. Needs root or sudo. Refuses to touch an `ovcalc` package
# that was installed before. Exit status 0 when everything worked.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
export LC_ALL=C
BUILD="$ROOT/build/demo"
SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO="sudo"

say() { printf '[deb] %s\n' "$*"; }
fail() { say "FAILED: $*"; exit 1; }

if dpkg-query -W -f='${Status}' ovcalc 2>/dev/null | grep -q "install ok installed"; then
  fail "an ovcalc package is installed already; remove it first (apt-get remove ovcalc)"
fi

bash scripts/install-deps.sh
mkdir -p "$BUILD"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOV_BUILD_TESTS=OFF \
      -DOV_BUILD_BENCH=OFF > "$BUILD/cmake.log" 2>&1 || { cat "$BUILD/cmake.log"; exit 1; }
cmake --build "$BUILD" -j2
rm -f "$BUILD"/ovcalc_*.deb
(cd "$BUILD" && cpack -G DEB > cpack.log 2>&1) || { cat "$BUILD/cpack.log"; exit 1; }
DEB=$(ls "$BUILD"/ovcalc_*.deb)
say "built $(basename "$DEB")"

# The layout of a Linux program, and the dependencies a user's apt needs.
CONTENT=$(dpkg-deb -c "$DEB" | awk '{ print $6 }')
for path in usr/bin/ovcalc usr/bin/ovsetup usr/bin/ovfeed usr/bin/ovclient usr/bin/ovtool \
            usr/bin/ovbridge usr/share/man/man1/ovbridge.1 \
            usr/share/doc/ovcalc/OVCalc.html usr/share/dbus-1/interfaces/OVCalc.IOVCalcDataCOM.xml \
            usr/share/applications/ovcalc.desktop usr/share/icons/hicolor/scalable/apps/ovcalc.svg \
            usr/share/man/man1/ovcalc.1 usr/share/man/man1/ovtool.1 \
            usr/lib/systemd/user/ovcalc.service; do
  grep -qx "./$path" <<<"$CONTENT" || fail "the package has no /$path"
done
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
for need in libqt6widgets6 libqt6dbus6 libsystemd0 libmosquitto1 dbus-session-bus; do
  grep -q "$need" <<<"$DEPENDS" || fail "the package does not depend on $need: $DEPENDS"
done
say "layout and dependencies: $DEPENDS"

remove() {
  set +e
  say "removing the package"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -q ovcalc >/dev/null 2>&1 ||
    $SUDO dpkg -r ovcalc >/dev/null 2>&1
}
trap remove EXIT
install_deb() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "$DEB"
}
if ! install_deb >"$BUILD/apt.log" 2>&1; then
  # Package lists that are missing or old: once more after an update.
  $SUDO apt-get update -q >>"$BUILD/apt.log" 2>&1
  install_deb >>"$BUILD/apt.log" 2>&1 || { cat "$BUILD/apt.log"; fail "apt-get install"; }
fi
say "installed"

# As installed, from a folder of its own, with neither display nor session bus.
cd /
version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
          DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent /usr/bin/ovcalc --version)
[[ $version == "ovcalc "* ]] || fail "ovcalc --version said: $version"
say "ovcalc --version: $version"
sum=$(/usr/bin/ovtool eval "1+1")
[[ $sum == 2 ]] || fail "ovtool eval \"1+1\" said: $sum"
say "ovtool eval \"1+1\": $sum"
grep -qx 'ExecStart=/usr/bin/ovcalc' /usr/lib/systemd/user/ovcalc.service ||
  fail "the user unit does not start /usr/bin/ovcalc"
remove
trap - EXIT
dpkg-query -W -f='${Status}' ovcalc 2>/dev/null | grep -q "install ok installed" &&
  fail "the package is still installed"
say "the package installs, runs and goes again"
