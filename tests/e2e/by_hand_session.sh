#!/usr/bin/env bash
# End to end: the README's "Running OV Calc by hand" session, its lines exactly as the README
# has them, in a copy of the repository's layout (build/demo/bin with the built programs,
# examples/) on a private session bus without a display, run from a folder of its own (not the
# repository's) with the copy as ~/ovcalc: the watch prints exactly the records of
# examples/expected.txt (so the rating tables were found), and every program of the session
# has ended when it is done.
#   by_hand_session.sh README BIN EXAMPLES     (BIN: the folder of the built programs)
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
README=$1 BIN=$2 EXAMPLES=$3
e2e_start by-hand

# The session: the fenced block after the marker line.
awk '/<!-- by-hand session/ { marked = 1; next }
     marked && /^```/ { if (inside) exit; inside = 1; next }
     inside { print }' "$README" >"$RUN/session.sh"
[[ -s $RUN/session.sh ]] || fail "no by-hand session in $README"

mkdir -p "$RUN/root/build/demo/bin"
cp "$BIN/ovcalc" "$BIN/ovsetup" "$BIN/ovfeed" "$BIN/ovclient" "$BIN/ovtool" "$BIN/OVCalc.html" \
   "$RUN/root/build/demo/bin/"
cp -r "$EXAMPLES" "$RUN/root/examples"
# The session names the clone ~/ovcalc; it runs in a folder that has nothing of OV Calc.
mkdir -p "$RUN/home" "$RUN/elsewhere"
ln -s "$RUN/root" "$RUN/home/ovcalc"
export HOME="$RUN/home"
cd "$RUN/elsewhere"
say "running the README's session:"
sed 's/^/  | /' "$RUN/session.sh"
status=0
timeout 90 bash -e "$RUN/session.sh" >"$RUN/out.txt" 2>"$RUN/err.txt" || status=$?
# ovfeed's count of lines shares the standard output with the watch's records.
grep -v '^ovfeed: ' "$RUN/out.txt" >"$RUN/records.txt" || true
if ((status != 0)) || ! diff -u "$EXAMPLES/expected.txt" "$RUN/records.txt"; then
  tail -n 40 "$RUN/err.txt"
  fail "the session ended with status $status"
fi
grep -qx 'ovfeed: 9 lines sent' "$RUN/out.txt" || fail "ovfeed did not send its lines"
grep -q 'running offscreen' "$RUN/err.txt" || fail "no note of the offscreen fallback"
no_clients() { [[ -z $(bus_clients) ]]; }
wait_for 10 no_clients || fail "programs of the session are still running"
say "all $(grep -c . "$RUN/records.txt") records as expected; everything ended"
