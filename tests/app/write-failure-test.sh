#!/usr/bin/env bash
# What cannot be written is reported. Each run on /dev/full says why on stderr and fails. Then a
# filesystem that fills during the run (an 8 KiB tmpfs in a mount namespace of this test's own):
# the trace ends at a whole line, as the start of the whole run, and the run says why it stopped.
#   write-failure-test.sh VX3340CTL
set -euo pipefail
ctl=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../support/test.sh"
full="No space left on device"
# run OUT MESSAGE ARGS...: the simulated board, standard output to OUT; exit 5 and one message.
run() {
  local out=$1 message=$2 status=0
  shift 2
  "$ctl" --simulate "$@" >"$out" 2>"$work/err" || status=$?
  [ "$status" = 5 ] && [ "$(cat "$work/err")" = "vx3340ctl: $message" ] ||
    fail "$* >$out: exit $status, $(cat "$work/err")"
}
run "$work/out" "the trace could not be written to /dev/full: $full" --trace /dev/full --range 4mA
run "$work/out" "the waveform could not be written to /dev/full: $full" --vcd /dev/full
run /dev/full "standard output could not be written: $full" --range 4mA
run /dev/full "standard output could not be written: $full" --json --count 3 --interval 0

unshare -m true 2>/dev/null || { echo "skipped: no mount namespace for a small tmpfs" && exit 77; }
"$ctl" --simulate --trace "$work/expected" --count 20 --interval 0 >/dev/null
mkdir "$work/fs"
unshare -m bash -c 'mount -t tmpfs -o size=8k tmpfs "$1" && { "$2" --simulate --trace "$1/t" \
  --count 20 --interval 0 >/dev/null 2>"$3/err"; echo $? >"$3/status"; cp "$1/t" "$3/trace"; }' \
  - "$work/fs" "$ctl" "$work"
[ "$(cat "$work/status")" = 5 ] &&
  [ "$(cat "$work/err")" = "vx3340ctl: the trace could not be written to $work/fs/t: $full" ] ||
  fail "the filling disk: exit $(cat "$work/status"), $(cat "$work/err")"
prefix "$work/trace" "$work/expected"
echo "ok: $(wc -l <"$work/trace") whole trace lines on the full disk"
