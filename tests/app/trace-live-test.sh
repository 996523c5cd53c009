#!/usr/bin/env bash
# The trace and the waveform are written through: a reader beside the running program sees every
# access, and a program killed with SIGKILL leaves every access made before the kill, in whole
# lines, and a waveform a viewer opens.
#   trace-live-test.sh VX3340CTL
set -euo pipefail
ctl=$1
work=$(mktemp -d)
trap 'kill -9 "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Whether FILE's lines are, line for line, the start of the expected run.
prefix() {
  [ -z "$(tail -c 1 "$1")" ] || fail "$1 ends inside a line"
  head -n "$(wc -l <"$1")" "$work/expected" | cmp -s - "$1" || fail "$1 is not the expected run"
}
"$ctl" --simulate --trace "$work/expected" --count 300 --interval 0 >/dev/null
"$ctl" --simulate --trace "$work/trace" --vcd "$work/run.vcd" --count 300 --interval 100 >/dev/null &
pid=$!
for _ in $(seq 300); do
  [ "$(wc -l <"$work/trace")" -ge $((7 + 2 * 36)) ] && break
  sleep 0.05
done
kill -0 "$pid" 2>/dev/null || fail "the program ended early"
[ "$(wc -l <"$work/trace")" -ge $((7 + 2 * 36)) ] || fail "the running program's trace holds $(wc -l <"$work/trace") lines"
prefix "$work/trace"
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
prefix "$work/trace"
[ "$(wc -l <"$work/trace")" -lt $((7 + 300 * 36)) ] || fail "the program was not killed"
vcd2fst "$work/run.vcd" "$work/run.fst" >"$work/log" 2>&1 && [ ! -s "$work/log" ] ||
  fail "the killed program's waveform does not open: $(cat "$work/log")"
echo "ok: $(wc -l <"$work/trace") trace lines on disk at the kill"
