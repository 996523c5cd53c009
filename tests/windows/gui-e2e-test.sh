#!/usr/bin/env bash
# vx3340.exe under wine on the virtual display, driven by real key events (xdotool) through its
# own message loop and menu keys, on the parllio.dll double as Windows 2000: picks, typing,
# About, Exit, with every port access against tests/data/windows-gui.expected; then a bad
# command line, and a trace that cannot be written.
#   gui-e2e-test.sh FOLDER    (FOLDER holds vx3340.exe and the double parllio.dll)
set -euo pipefail
: "${WINE:?}" "${VX_REG_VIEW:?}" "${DISPLAY:?}"
folder=$1
work=$(mktemp -d)
key='HKCU\Software\Wine\AppDefaults\vx3340.exe'
trap 'rm -rf "$work"; "$WINE" reg delete "$key" /v Version /f "$VX_REG_VIEW" >/dev/null 2>&1 || true' EXIT
"$WINE" reg add "$key" /v Version /d win2k /f "$VX_REG_VIEW" >/dev/null 2>&1
. "$(dirname "$0")/../support/test.sh"
# Waits for a window whose title matches, gives it the keyboard and presses the keys.
keys() {
  local id
  id=$(timeout 60 xdotool search --sync --onlyvisible --name "$1" | head -n 1) || fail "no window '$1'"
  xdotool windowfocus --sync "$id" && xdotool key --delay 100 "${@:2}"
}
# Whether no window whose title matches shows: a box that the keys closed.
gone() { ! xdotool search --onlyvisible --name "$1"; }

(cd "$folder" && exec "$WINE" ./vx3340.exe --trace "$("$WINE" winepath -w "$work/trace")") &
# Three picks in the current-range list (4uA, 40uA, 4uA); typing changes nothing; Cap 0 in cboAC.
keys '^ VX3340 Evaluation Software$' Down Down Up x 9 space BackSpace Delete ctrl+v Tab Down alt+h a
keys '^About VX3340 Evaluation Software$' Return
await 60 "the About box to close" gone '^About VX3340 Evaluation Software$'
keys '^ VX3340 Evaluation Software$' alt+f x
wait $! || fail "vx3340.exe ended with $?"
# Start-up on the library path, four refreshes, nothing after them.
tr -d '\r' <"$work/trace" | diff - "$(dirname "$0")/../data/windows-gui.expected" || fail "port accesses"

# boxed STATUS KEYS ARGUMENTS...: vx3340.exe with ARGUMENTS shows one message box; Return closes
# it, KEYS (if any) go to the window, and the program ends with STATUS.
boxed() {
  local status=0
  (cd "$folder" && exec "$WINE" ./vx3340.exe "${@:3}") &
  keys '^VX3340$' Return
  await 60 "the message box to close" gone '^VX3340$'
  # shellcheck disable=SC2086
  [ -z "$2" ] || keys '^ VX3340 Evaluation Software \(simulated board\)$' $2
  wait $! || status=$?
  [ "$status" -eq "$1" ] || fail "vx3340.exe ${*:3} ended with $status"
}
# A bad command line: exit 2. A trace that cannot be written: one box, then the window goes on (a
# second box would block the picks and Exit); exit 5 at its end.
boxed 2 "" --simulate --sim-flags 300
boxed 5 "Down Down alt+f x" --simulate --trace 'Z:\dev\full'
echo "ok: vx3340.exe under wine"
