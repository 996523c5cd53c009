#!/usr/bin/env bash
# The trace and the waveform are written through: a reader beside the running program sees every
# access, and a program killed with SIGKILL leaves every access made before the kill, in whole
# lines, and a waveform that GTKWave's converter takes without a word of complaint. And sigrok's
# parallel decoder, clocked on nSTROBE's rising edge, recovers from a waveform the control words
# that the refreshes latched.
#   trace-live-test.sh VX3340CTL
set -euo pipefail
ctl=$1
work=$(mktemp -d)
trap 'kill -9 "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
. "$(dirname "$0")/../support/test.sh"
# The whole run, started with standard input closed as a service may be: its trace opens as
# descriptor 0, which is a file like any other.
"$ctl" --simulate --trace "$work/expected" --count 300 --interval 0 >/dev/null <&-
"$ctl" --simulate --trace "$work/trace" --vcd "$work/run.vcd" --count 300 --interval 100 >/dev/null &
pid=$!
# Start-up and two refreshes in the running program's trace.
await 15 "the running program's trace" eval '[ "$(wc -l <"$work/trace")" -ge $((7 + 2 * 36)) ]'
kill -0 "$pid" 2>/dev/null || fail "the program ended early"
cp "$work/trace" "$work/copy"  # checked on a copy: the program goes on writing
prefix "$work/copy" "$work/expected"
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
prefix "$work/trace" "$work/expected"
[ "$(wc -l <"$work/trace")" -lt $((7 + 300 * 36)) ] || fail "the program was not killed"
vcd2fst "$work/run.vcd" "$work/run.fst" >"$work/log" 2>&1 && [ ! -s "$work/log" ] ||
  fail "the killed program's waveform does not open: $(cat "$work/log")"
lines=$(wc -l <"$work/trace")

"$ctl" --simulate --vcd "$work/run.vcd" --range 160mA --force current \
  --measure im --cap 2 --count 2 >/dev/null
# The control words these picks latch (as tests/data/ctl.expected shows) but the last: the
# decoder reports a word at the clock edge after it.
# Debian's sigrok-cli aborts at exit after printing; its output is what counts.
decoded=$( (sigrok-cli -I vcd -i "$work/run.vcd" -P \
  parallel:clk=nSTROBE:d0=D0:d1=D1:d2=D2:d3=D3:d4=D4:d5=D5:d6=D6:d7=D7:clock_edge=rising \
  -A parallel=items || true) 2>/dev/null | sed -n 's/^parallel-1: //p' | tr 'a-f\n' 'A-F ')
[ "$decoded" = "05 0D 2D AD " ] || fail "sigrok decoded '$decoded'"
echo "ok: $lines trace lines on disk at the kill; sigrok-cli decoded $decoded"
