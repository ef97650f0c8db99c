#!/usr/bin/env bash
# Builds the benchmarks in an optimised build and prints their figures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DOV_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j "$(nproc)" --target ovbench
build/bench/bench/ovbench --benchmark_counters_tabular=true "$@"
cat <<'TARGETS'

Calculator (BM_Calculate/E1-E3: an equation with its variables among 10^4 cached station.sensors):
  x_muparser    under 3: Calculate (as the thread calls it) over muparser's evaluation of the
                same equation parsed once, timed in alternating rounds. SQRT and SIN are computed
                in extended precision to the bit: BM_ExtendedFunction shows what they cost alone
                (the extended sine is a floor of about 8 x muparser's whole E3)
Calculation thread (BM_ThreadOverhead: 1000 groups, every record sets off two calculations):
  x_bare        under 1.5: the thread's processor time per calculation over a bare Calculate of
                the same groups plus one setup query to the same in-process double

End to end (BM_EndToEnd_*: ovfeed -> bus -> ovcalc -> bus -> result events, real processes on a
private bus; the raw rates are measured just before each figure, in the same run; each line's
label says whether its target was met):
  NoGroupLines  lines/s at least 50 % of raw_signals/s       (%_of_raw_signals)
  CalcPerLine   lines/s at least 70 % of raw_queries/s       (%_of_raw_queries; one
                RoundOffTime query per calculation)
  Latency1000   p99_ms under 5 at 1000 lines per second      (item change to result event;
                lines/s at the rate, none lost)
  Flood         VmHWM_after_MB: ovcalc's peak resident size after 10^5 lines

Replay (BM_Replay/N: ovtool replay of a generated archive of N lines, 10^3 stations, single- and
multiple-station groups, rating tables and attributes, 2.1 calculations a line):
  x_muparser    under 10: the process's processor time per calculation (cpu_ns/calc) over
                muparser's evaluation of the same equations parsed once (muparser_ns/calc)
  peak_MB       about the same at 10^6 and 10^7 lines: the input is streamed and the value
                cache keeps three hours of the data's time
  x_end_to_end  at least 20 (BM_Replay_EndToEnd): the replay's lines/s over those of a prefix
                of the same archive fed by ovfeed through a private bus to a running OV Calc,
                measured in the same run

ovfeed (BM_FeedSignals_*): with --wait-link, once a client linked, as fast as with --no-wait
(BM_FeedSignals_WaitLink_SdBus against BM_FeedSignals_SdBus).

MQTT bridge (BM_Bridge_*: ovfeed -> ovcalc -> ovbridge -> mosquitto -> a subscriber, real processes
with a mosquitto of the run's own; 20 000 lines of one calculation each):
  ResultsOut  via_bridge/s at least 80 % of direct/s (%_of_direct), the rate without the bridge
              measured just before in the same run; ovcalc_us, ovbridge_us, mosquitto_us: CPU
              microseconds per result
  DataIn      mqtt_in/s: records published to the broker and calculated, against ovfeed_in/s,
              ovfeed feeding the same lines (%_of_ovfeed)

Station catalogue (BM_Catalogue_*: 10^4 stations x 10 sensors in SQLite and in a throwaway
PostgreSQL server, made for the run; 0 = SQLite, 1 = PostgreSQL):
  Load          x_bare under 2: the load's time over a bare QSqlQuery reading the same rows
  SortAndTree   under 500 ms for each view and tree, a sort included (<true>: on a QTreeWidget,
                which needs a run of its own: --benchmark_filter=Catalogue)

Filter dialog (BM_FilterSelect_*: the same 10^4 stations x 10 sensors in SQLite):
  OpenToFirstFrame  under 1000 ms from creating the dialog (every row of both tables read for
                    the columns' values: create_ms) to its first painted frame (show_ms); a run
                    of its own when another family keeps a non-widget application:
                    --benchmark_filter=FilterSelect

Setup dialog (BM_SetupDialog_*: the same 10^4 stations x 10 sensors in SQLite):
  OpenToFirstFrame  under 1000 ms from creating the dialog (create_ms) through its showing (the
                    database opened, the catalogue loaded, the station tree, the picker's tree
                    and the output lists built, the first group loaded) to its first painted
                    frame (show_ms); load_ms, the catalogue's 10^5 rows loaded as the dialog
                    loads them (on the ODBC connection itself, in blocks of bound columns), and
                    qsqlquery_ms, a bare QSqlQuery reading the same rows, for comparison, with
                    ratio, the opening time over that bare read. A run of its own
                    when another family keeps a non-widget application:
                    --benchmark_filter=SetupDialog
TARGETS
