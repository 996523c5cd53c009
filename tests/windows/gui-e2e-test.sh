#!/usr/bin/env bash
# vx3340.exe under wine on the virtual display, driven by real key events (xdotool), on the
# parllio.dll double as Windows 2000: picks, typing, About, Exit; then a bad command line.
#   gui-e2e-test.sh FOLDER    (FOLDER holds vx3340.exe and the double parllio.dll)
set -euo pipefail
: "${WINE:?}" "${VX_REG_VIEW:?}" "${DISPLAY:?}"
folder=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
key='HKCU\Software\Wine\AppDefaults\vx3340.exe'
"$WINE" reg add "$key" /v Version /d win2k /f "$VX_REG_VIEW" >/dev/null 2>&1

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Waits for a window whose title matches, and gives it the keyboard.
window() {
  local id
  id=$(timeout 60 xdotool search --sync --onlyvisible --name "$1" | head -n 1) || fail "no window '$1'"
  xdotool windowfocus --sync "$id"
  sleep 0.3
}
keys() {
  xdotool key --delay 100 "$@"
  sleep 0.5
}

(cd "$folder" && exec "$WINE" ./vx3340.exe --trace "$("$WINE" winepath -w "$work/trace")") &
program=$!
window '^ VX3340 Evaluation Software$'
keys Down Down Up          # three picks in the current-range list: 4uA, 40uA, 4uA
xdotool type --delay 100 'x9 '
keys BackSpace Delete ctrl+v Tab Down   # typing changes nothing; then cboAC: Cap 0
keys alt+h a
window '^About VX3340 Evaluation Software$'
keys Return
window '^ VX3340 Evaluation Software$'
keys alt+f x
wait "$program" || fail "vx3340.exe ended with $?"

# Start-up on the library path, four refreshes, nothing after them.
tr -d '\r' <"$work/trace" >"$work/lines"
[ "$(wc -l <"$work/lines")" -eq $((7 + 4 * 36)) ] || { cat "$work/lines" >&2; fail "wrong number of accesses"; }
words=$(awk 'NR > 7 && (NR - 8) % 36 == 2 { print $3 }' "$work/lines" | tr '\n' ' ')
[ "$words" = "0x00 0x01 0x00 0x00 " ] || fail "control words '$words'"
head -n 1 "$work/lines" | grep -qx 'GetParallelPortCount -> 1' || fail "not the library path"

# A bad command line: a box that names the option, then exit 2, and nothing sent.
(cd "$folder" && exec "$WINE" ./vx3340.exe --simulate --sim-flags 300) &
program=$!
window '^VX3340$'
keys Return
status=0
wait "$program" || status=$?
[ "$status" -eq 2 ] || fail "bad input ended with $status"
"$WINE" reg delete "$key" /v Version /f "$VX_REG_VIEW" >/dev/null 2>&1 || true
echo "ok: vx3340.exe under wine"
