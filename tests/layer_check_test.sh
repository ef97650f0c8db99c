#!/usr/bin/env bash
# The layer check itself, on a small tree of its own with the real table's kinds of outside
# header and library (so their patterns are tested too). The clean tree passes; then each row
# is applied alone to a copy of it: a row marked "-" must still pass, any other row must fail
# with exactly the faults it names (several joined by " && ").
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# put FILE LINE...: appends the lines to FILE of the tree in the current folder.
put() {
  local file=$1
  shift
  mkdir -p "$(dirname "$file")"
  printf '%s\n' "$@" >>"$file"
}
# beneath PATTERN LINE: adds LINE to the table beneath the line that PATTERN matches.
beneath() { sed -i "\\|$1|a\\$2" tests/layers.txt; }

mkdir "$WORK/clean"
cd "$WORK/clean"
# The folders first (the rows name their lines), then the real table's kinds.
put tests/layers.txt \
  'src/util      -' \
  'src/model     -' \
  '  uses src/util       text' \
  'src/calc      -' \
  '  uses src/util       text' \
  '  uses src/model      groups' \
  'src/thread    -' \
  '  uses src/calc       the calculator' \
  'src/sdbus     sdbus' \
  '  uses src/util       text' \
  'src/database  qt,odbc' \
  '  uses src/util       text' \
  'src/bus       qt,sdbus' \
  '  uses src/util       text' \
  '  uses src/model      groups' \
  '  uses src/calc       the calculator' \
  '  uses src/sdbus      sd-bus helpers' \
  'src/ui        qt' \
  '  uses src/calc       the equation check' \
  '  uses src/database   the catalogue' \
  'tools/ovtool  -' \
  '  uses src/calc       the calculator' \
  '  uses tools/ovtool/catalogue   its database side' \
  'tools/ovtool/catalogue  qt' \
  '  uses src/database   the catalogue'
grep '^kind ' "$HERE/layers.txt" >>tests/layers.txt
put src/CMakeLists.txt 'function(ov_layer name)' '  add_library(${name} STATIC ${L_SOURCES})' \
  '  target_link_libraries(${name} PUBLIC ${L_USES})' 'endfunction()' \
  'add_library(ovengine INTERFACE)' 'target_link_libraries(ovengine INTERFACE ov_calc ov_model ov_util)'
put src/util/Text.h '#include <string>' '#include <cstdio>' '#include <unistd.h>' '#include <sys/stat.h>' \
  '#include "Local.h"'
put src/util/Local.h '#include <stdint.h>'
put src/util/CMakeLists.txt 'ov_layer(ov_util SOURCES Text.cpp USES Threads::Threads)'
put src/model/Group.h '#include "util/Text.h"'
put src/model/CMakeLists.txt 'ov_layer(ov_model SOURCES Group.cpp' '  USES ov_util)'
put src/calc/Calc.h '#include "model/Group.h"' '#include "../util/Local.h"'
put src/calc/CMakeLists.txt 'ov_layer(ov_calc SOURCES Calc.cpp USES ov_model ov_util)'
put src/thread/Work.h '#include "calc/Calc.h"'
put src/thread/CMakeLists.txt 'ov_layer(ov_thread SOURCES Work.cpp USES ov_calc)'
put src/sdbus/SdBus.h '#include <systemd/sd-bus.h>' '#include "util/Text.h"'
put src/sdbus/CMakeLists.txt 'ov_layer(ov_sdbus SOURCES SdBus.cpp USES ov_util PkgConfig::SDBUS)'
put src/database/Odbc.h '#include <sql.h>' '#include <QSqlDatabase>' '#include "util/Text.h"'
put src/database/CMakeLists.txt 'ov_layer(ov_database SOURCES Odbc.cpp USES ov_util Qt6::Sql ODBC::ODBC)'
put src/bus/Bus.cpp '#include <QDBusConnection>' '#include <systemd/sd-bus.h>' '#include "calc/Calc.h"' \
  '#include "model/Group.h"' '#include "util/Text.h"' '#include "sdbus/SdBus.h"'
put src/bus/CMakeLists.txt 'ov_layer(ov_bus SOURCES Bus.cpp USES ovengine ov_sdbus Qt6::DBus)'
put src/ui/Dialog.cpp '#include <QWidget>' '#include "calc/Calc.h"' '#include "database/Odbc.h"'
put src/ui/CMakeLists.txt 'ov_layer(ov_ui SOURCES Dialog.cpp USES ov_calc ov_database Qt6::Widgets)'
put tools/ovtool/Tool.h '#include <vector>'
put tools/ovtool/main.cpp '#include "Tool.h"' '#include "calc/Calc.h"' '#include "catalogue/Print.h"'
put tools/ovtool/CMakeLists.txt 'add_executable(ovtool main.cpp)' 'target_link_libraries(ovtool PRIVATE ov_calc)' \
  'if(OV_BUILD_QT)' '  add_subdirectory(catalogue)  # the database side' \
  '  target_link_libraries(ovtool PRIVATE ovtool_catalogue)' 'endif()'
put tools/ovtool/catalogue/Print.h '#include <string>'
put tools/ovtool/catalogue/Print.cpp '#include <QString>' '#include "Print.h"' '#include "database/Odbc.h"'
put tools/ovtool/catalogue/CMakeLists.txt 'add_library(ovtool_catalogue STATIC Print.cpp)' \
  'target_link_libraries(ovtool_catalogue PUBLIC ov_database Qt6::Core)'
cd "$WORK"

status=0
if ! bash "$HERE/layer_check.sh" clean >clean.out; then
  echo "the clean tree failed:"
  cat clean.out
  exit 1
fi

while IFS= read -r row; do
  [[ -z $row || $row == \#* ]] && continue
  expect=${row%% :: *}
  command=${row#* :: }
  rm -rf tree
  cp -a clean tree
  (cd tree && eval "$command")
  rc=0
  bash "$HERE/layer_check.sh" tree >out 2>&1 || rc=$?
  if [[ $expect == - ]]; then
    if ((rc != 0)); then
      echo "must pass, failed: $command"
      sed 's/^/  /' out
      status=1
    fi
    continue
  fi
  faults=$(grep -cv '^layer_check: ' out || true)
  wanted=0
  missing=
  while IFS= read -r part; do
    wanted=$((wanted + 1))
    grep -qF -- "$part" out || missing+=" [$part]"
  done < <(sed 's/ && /\n/g' <<<"$expect")
  if ((rc != 1)) || [[ -n $missing ]] || ((faults != wanted)); then
    echo "must fail with $wanted fault(s), status $rc, $faults fault(s), not reported:${missing:- -}"
    echo "  row: $command"
    sed 's/^/  /' out
    status=1
  fi
done <<'ROWS'
# Rows that must pass.
- :: put src/util/detail/Deep.h '#include "../Text.h"'
- :: put src/model/Rel.h '#include "../util/Text.h"'
- :: put src/bus/Spellings.cpp '#include <QtCore/QObject>' '#include <qobject.h>' '#include <QtDBus>' '#include <QtCore/private/qobject_p.h>'
- :: put src/database/More.h '#  include <sqlext.h>' '#include"util/Text.h"'
- :: put src/util/Sys.c '#include <poll.h>' '#include <sys/eventfd.h>' '#include <linux/limits.h>' '#include <malloc.h>'
- :: put src/ui/CMakeLists.txt 'target_link_libraries(ov_ui PRIVATE Threads::Threads)'

# Includes of a folder the table does not allow: relative, from src/, dotted, from a tool.
src/util/Up.h:1: includes "../calc/Calc.h" of src/calc, which src/util may not use :: put src/util/Up.h '#include "../calc/Calc.h"'
src/util/Up.h:1: includes "calc/Calc.h" of src/calc, which src/util may not use :: put src/util/Up.h '#include "calc/Calc.h"'
src/model/Up.h:1: includes "util/../calc/Calc.h" of src/calc, which src/model may not use :: put src/model/Up.h '#include "util/../calc/Calc.h"'
tools/ovtool/Db.cpp:1: includes "../../src/database/Odbc.h" of src/database, which tools/ovtool may not use :: put tools/ovtool/Db.cpp '#include "../../src/database/Odbc.h"'
tools/ovtool/catalogue/Up.cpp:1: includes "../Tool.h" of tools/ovtool, which tools/ovtool/catalogue may not use :: put tools/ovtool/catalogue/Up.cpp '#include "../Tool.h"'
src/ui/New.cpp:2: includes "thread/Work.h" of src/thread, which src/ui may not use :: put src/ui/New.cpp '#include <QDialog>' '#include "thread/Work.h"'

# Every C++ extension, and the templates CMake turns into C++.
src/util/Up.hpp:1: includes "calc/Calc.h" :: put src/util/Up.hpp '#include "calc/Calc.h"'
src/util/Up.hh:1: includes "calc/Calc.h" :: put src/util/Up.hh '#include "calc/Calc.h"'
src/util/Up.hxx:1: includes "calc/Calc.h" :: put src/util/Up.hxx '#include "calc/Calc.h"'
src/util/Up.c:1: includes "calc/Calc.h" :: put src/util/Up.c '#include "calc/Calc.h"'
src/util/Up.cc:1: includes "calc/Calc.h" :: put src/util/Up.cc '#include "calc/Calc.h"'
src/util/Up.cxx:1: includes "calc/Calc.h" :: put src/util/Up.cxx '#include "calc/Calc.h"'
src/util/Up.inl:1: includes "calc/Calc.h" :: put src/util/Up.inl '#include "calc/Calc.h"'
src/util/Up.cpp.in:1: includes "calc/Calc.h" :: put src/util/Up.cpp.in '#include "calc/Calc.h"'
src/util/Up.h.in:1: includes "calc/Calc.h" :: put src/util/Up.h.in '#include "calc/Calc.h"'

# Outside kinds only where the table names them: ODBC, Qt in any spelling, sd-bus, MQTT.
src/util/Sql.h:1: includes <sql.h> of odbc, which src/util may not use :: put src/util/Sql.h '#include <sql.h>'
src/bus/Sql.cpp:1: includes <sqlext.h> of odbc, which src/bus may not use :: put src/bus/Sql.cpp '#include <sqlext.h>'
src/calc/Q.cpp:1: includes <qobject.h> of qt :: put src/calc/Q.cpp '#include <qobject.h>'
src/calc/Q.cpp:1: includes <QObject> of qt :: put src/calc/Q.cpp '#include <QObject>'
src/calc/Q.cpp:1: includes <QtCore/QObject> of qt :: put src/calc/Q.cpp '#include <QtCore/QObject>'
src/calc/Q.cpp:1: includes <QtDBus> of qt :: put src/calc/Q.cpp '#include <QtDBus>'
src/calc/Q.cpp:1: includes <QtCore/private/qobject_p.h> of qt :: put src/calc/Q.cpp '#include <QtCore/private/qobject_p.h>'
src/calc/Q.cpp:1: includes <private/qobject_p.h> of qt :: put src/calc/Q.cpp '#include <private/qobject_p.h>'
src/calc/Q.cpp:1: includes <qpa/qplatformintegration.h> of qt :: put src/calc/Q.cpp '#include <qpa/qplatformintegration.h>'
src/ui/Sd.cpp:1: includes <systemd/sd-bus.h> of sdbus, which src/ui may not use :: put src/ui/Sd.cpp '#include <systemd/sd-bus.h>'
src/database/Sd.cpp:1: includes <systemd/sd-event.h> of sdbus :: put src/database/Sd.cpp '#include <systemd/sd-event.h>'
src/bus/M.cpp:1: includes <mosquitto.h> of mqtt, which src/bus may not use :: put src/bus/M.cpp '#include <mosquitto.h>'
src/bus/M.cpp:1: includes <MQTTClient.h> of mqtt :: put src/bus/M.cpp '#include <MQTTClient.h>'
src/bus/M.cpp:1: includes <MQTTAsync.h> of mqtt :: put src/bus/M.cpp '#include <MQTTAsync.h>'
src/bus/M.cpp:1: includes <mqtt/async_client.h> of mqtt :: put src/bus/M.cpp '#include <mqtt/async_client.h>'
src/bus/M.cpp:1: includes <QtMqtt/QMqttClient> of mqtt :: put src/bus/M.cpp '#include <QtMqtt/QMqttClient>'
src/calc/M.cpp:1: includes <QMqttClient> of qt && src/calc/M.cpp:1: includes <QMqttClient> of mqtt :: put src/calc/M.cpp '#include <QMqttClient>'

# Headers the check cannot place.
src/calc/Mu.cpp:1: includes <muParser.h>, a header of no kind :: put src/calc/Mu.cpp '#include <muParser.h>'
src/bus/Angle.cpp:1: includes <calc/Calc.h>, a header of no kind :: put src/bus/Angle.cpp '#include <calc/Calc.h>'
tools/ovtool/catalogue/Use.cpp:1: includes "Tool.h", which is not beside it :: put tools/ovtool/catalogue/Use.cpp '#include "Tool.h"'
src/util/Fake.h:1: includes "../../tests/support/Fake.h" in tests/support, a folder no line :: put src/util/Fake.h '#include "../../tests/support/Fake.h"'
src/util/Out.h:1: includes "../../../Out.h", which lies outside the source tree :: put src/util/Out.h '#include "../../../Out.h"'
src/util/Macro.h:1: an #include the check cannot read: #include OV_HEADER :: put src/util/Macro.h '#include OV_HEADER'
src/newlayer: a folder of C++ files (src/newlayer/N.h …) that no line :: put src/newlayer/N.h '#include <string>'

# Links: each target's link list against the same table, bundles member by member.
src/database/CMakeLists.txt:2: ov_database links ov_calc (through ovengine) of src/calc, which src/database may not use && ov_database links ov_model (through ovengine) of src/model :: put src/database/CMakeLists.txt 'target_link_libraries(ov_database PRIVATE ovengine)'
src/ui/CMakeLists.txt:2: ov_ui links ov_thread of src/thread, which src/ui may not use :: put src/ui/CMakeLists.txt 'target_link_libraries(ov_ui PRIVATE ov_thread)'
tools/ovtool/CMakeLists.txt:7: ovtool links ov_database of src/database, which tools/ovtool may not use :: put tools/ovtool/CMakeLists.txt 'target_link_libraries(ovtool PRIVATE ov_database)'
src/calc/CMakeLists.txt:2: ov_calc links Qt6::Core of qt, which src/calc may not use :: put src/calc/CMakeLists.txt 'target_link_libraries(ov_calc PUBLIC Qt6::Core)'
src/util/CMakeLists.txt:2: ov_util links ODBC::ODBC of odbc, which src/util may not use :: put src/util/CMakeLists.txt 'target_link_libraries(ov_util PRIVATE ODBC::ODBC)'
src/bus/CMakeLists.txt:2: ov_bus links PkgConfig::MOSQUITTO of mqtt, which src/bus may not use :: put src/bus/CMakeLists.txt 'target_link_libraries(ov_bus PRIVATE PkgConfig::MOSQUITTO)'
src/util/CMakeLists.txt:4: ov_util links Qt6::Core of qt :: put src/util/CMakeLists.txt 'TARGET_LINK_LIBRARIES(ov_util' '  PRIVATE' '  Qt6::Core)'
src/calc/CMakeLists.txt:2: ov_calc links muparser, which is no target under src/ or tools/ and no library of a kind :: put src/calc/CMakeLists.txt 'target_link_libraries(ov_calc PRIVATE muparser)'
src/calc/CMakeLists.txt:2: ov_calc links ${EXTRA}, which the check cannot resolve :: put src/calc/CMakeLists.txt 'target_link_libraries(ov_calc PRIVATE ${EXTRA})'
tools/CMakeLists.txt:1: target settings is made in tools, a folder no line :: put tools/CMakeLists.txt 'add_library(settings STATIC ovtool/Settings.cpp)'

# The table itself: every line in use, a reason on every edge, no circle, only real folders.
tests/layers.txt:8: src/thread uses src/util, but no file of src/thread includes a header of it :: beneath '^src/thread' '  uses src/util   never included'
tests/layers.txt:18: src/ui may use mqtt, but no file of it includes a header of mqtt :: sed -i 's|^src/ui        qt$|src/ui        qt,mqtt|' tests/layers.txt
tests/layers.txt:6: the edges run in a circle: src/util -> src/calc -> src/util && tests/layers.txt:4: the edges run in a circle: src/util -> src/calc -> src/model -> src/util :: beneath '^src/util' '  uses src/calc   a circle'; put src/util/Circle.h '#include "calc/Calc.h"'
tests/layers.txt:8: "uses src/util" needs its reason after it :: beneath '^src/thread' '  uses src/util'
tests/layers.txt:26: folder tools/ovbridge is not in the tree :: sed -i '25a\tools/ovbridge  qt,sdbus,mqtt' tests/layers.txt
tests/layers.txt:1: src/util names kind gtk, which no kind line defines :: sed -i 's|^src/util      -$|src/util      gtk|' tests/layers.txt
ROWS
exit $status
