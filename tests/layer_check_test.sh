#!/usr/bin/env bash
# The layer check itself: on a small tree it must pass clean includes and catch an upward
# include, a sideways include, Qt or sd-bus in the engine, and a folder missing from the table.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
TREE=$(mktemp -d)
trap 'rm -rf "$TREE"' EXIT
mkdir -p "$TREE/tests" "$TREE/src/util" "$TREE/src/calc" "$TREE/src/core" "$TREE/src/ui" \
         "$TREE/src/bus" "$TREE/tools/ovtool/catalogue"
cp "$HERE/layers.txt" "$TREE/tests/"
printf '#include <string>\n#include "util/Local.h"\n#include "Local.h"\n' > "$TREE/src/util/Ok.h"
printf '#include "util/Ok.h"\n#include "core/X.h"\n' > "$TREE/src/calc/Ok.cpp"
printf '#include <QString>\n#include <systemd/sd-bus.h>\n#include "calc/Ok.h"\n' > "$TREE/src/bus/Ok.cpp"
printf '#include "calc/CalcEx.h"\n' > "$TREE/tools/ovtool/Ok.cpp"
printf '#include <QString>\n#include "database/X.h"\n' > "$TREE/tools/ovtool/catalogue/Ok.cpp"
bash "$HERE/layer_check.sh" "$TREE" > "$TREE/clean.out" ||
  { echo "a clean tree failed:"; cat "$TREE/clean.out"; exit 1; }

printf '#include "calc/CalcEx.h"\n' > "$TREE/src/util/Up.h"          # upward
printf '#include "ui/Options.h"\n' > "$TREE/src/core/Side.cpp"        # upward, into Qt
printf '#include <QString>\n' > "$TREE/src/core/Qt.cpp"               # Qt in the engine
printf '#include <systemd/sd-bus.h>\n' > "$TREE/src/ui/Sd.cpp"        # sd-bus in the dialogs
printf '#include "bus/BusText.h"\n' > "$TREE/tools/ovtool/Bus.cpp"    # ovtool on the bus
printf '#include <QSqlDatabase>\n' > "$TREE/tools/ovtool/Sql.cpp"     # Qt outside catalogue/
mkdir -p "$TREE/src/newlayer"; printf '\n' > "$TREE/src/newlayer/N.h"  # not in the table
if bash "$HERE/layer_check.sh" "$TREE" > "$TREE/bad.out"; then
  echo "a tree with bad includes passed"; exit 1
fi
status=0
for expected in 'src/util/Up.h: includes "calc/CalcEx.h"' 'src/core/Side.cpp: includes "ui/Options.h"' \
                'src/core/Qt.cpp: includes <QString>' 'src/ui/Sd.cpp: includes <systemd/sd-bus.h>' \
                'tools/ovtool/Bus.cpp: includes "bus/BusText.h"' 'tools/ovtool/Sql.cpp: includes <QSqlDatabase>' \
                'src/newlayer/N.h: folder src/newlayer'; do
  grep -qF "$expected" "$TREE/bad.out" || { echo "not reported: $expected"; status=1; }
done
(( $(grep -cE '^(src|tools)/' "$TREE/bad.out") == 7 )) || { echo "reported more than the seven:"; status=1; }
((status == 0)) || cat "$TREE/bad.out"
exit $status
