#!/usr/bin/env bash
# End to end: the example scenario (examples/) with the real ovcalc, ovsetup, ovfeed and ovclient
# processes on a private session bus gives exactly the records of examples/expected.txt, and
# OV Calc ends by the setup server's shutdown event. The scenario is the demo's own
# (scripts/run-example.sh), so the two cannot drift apart.
#   example_scenario.sh OVCALC OVSETUP OVFEED OVCLIENT EXAMPLES
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export LC_ALL=C
export QT_QPA_PLATFORM=offscreen
# The whole run stays well inside the test's time-out, so that the scenario's own clean-up
# ends every process it started even when something hangs.
exec bash "$HERE/../../scripts/run-example.sh" --label e2e --limit 95 "$@"
