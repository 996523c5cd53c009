#!/usr/bin/env bash
# The Windows installer under wine, in a fresh prefix: silent install, shortcuts, uninstall
# entry, the installed programs, parllio.dll, a second install, failures, and an uninstall that
# leaves nothing of ours.
#   installer-test.sh SETUP.EXE PARLLIO.DLL PREFIX
# WINE, WINEARCH and VX_REG_VIEW say which wine and registry view (as for the other tests).
set -euo pipefail
: "${WINE:?}" "${WINEARCH:?}" "${VX_REG_VIEW:?}"
setup=$(realpath "$1")
double=$(realpath "$2")
export WINEPREFIX=$(realpath -m "$3") WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
"$WINE" wineboot -i >/dev/null 2>&1

product="VX3340 Evaluation Software"
dir="$WINEPREFIX/drive_c/Program Files/$product"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$product"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VX3340'

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# run PROGRAM ARGS...: waits for it and everything it started; sets $status.
run() {
  status=0
  "$WINE" "$@" >/dev/null 2>&1 || status=$?
  wineserver -w
}
installed() {
  local expected=$1 actual
  actual=$(cd "$dir" 2>/dev/null && ls | sort | tr '\n' ' ')
  [ "$actual" = "$expected" ] || fail "installed files '$actual', expected '$expected'"
}
value() {
  "$WINE" reg query "$key" /v "$1" "$VX_REG_VIEW" 2>/dev/null | tr -d '\r' |
    awk -v name="$1" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

# A silent install: the programs, the README and the uninstaller; two shortcuts.
run "$setup" /S
[ "$status" -eq 0 ] || fail "silent install ended with $status"
installed "README.txt uninstall.exe vx3340.exe vx3340ctl.exe "
[ -f "$menu/$product.lnk" ] || fail "no shortcut"
strings -el "$menu/$product (simulated board).lnk" | grep -qx -- '--simulate' ||
  fail "the simulated board's shortcut does not pass --simulate"
windir='C:\Program Files\VX3340 Evaluation Software'
for pair in "DisplayName=$product" "DisplayVersion=1.2.0.0" "DisplayIcon=$windir\\vx3340.exe,0" \
  "InstallLocation=$windir" "UninstallString=\"$windir\\uninstall.exe\"" \
  "QuietUninstallString=\"$windir\\uninstall.exe\" /S" "NoModify=0x1" "NoRepair=0x1"; do
  [ "$(value "${pair%%=*}")" = "${pair#*=}" ] || fail "${pair%%=*} is '$(value "${pair%%=*}")'"
done
[ "$(printf '%d' "$(value EstimatedSize)")" -gt 0 ] || fail "no EstimatedSize"
# The installed command-line tool runs; without the library it says what to do.
out=$(cd "$dir" && "$WINE" ./vx3340ctl.exe --simulate 2>&1 | tr -d '\r')
[ "$out" = "CPOH=0 CPOL=1 CHL-DET=1 CLL_DET=0 QM4=0 QM5=0 byte=0x06 decimal=6" ] ||
  fail "vx3340ctl --simulate said '$out'"
out=$(cd "$dir" && "$WINE" ./vx3340ctl.exe 2>&1) && fail "ran without parllio.dll"
grep -q "Put parllio.dll beside the program" <<<"$out" || fail "no remedy for the missing library"

# Again over the first, with /PARLLIO: the double is copied and the real port path works.
run "$setup" /S "/PARLLIO=$("$WINE" winepath -w "$double")"
[ "$status" -eq 0 ] || fail "second install ended with $status"
installed "README.txt parllio.dll uninstall.exe vx3340.exe vx3340ctl.exe "
out=$(cd "$dir" && "$WINE" ./vx3340ctl.exe 2>&1 | tr -d '\r')
[ "$out" = "CPOH=0 CPOL=1 CHL-DET=0 CLL_DET=1 QM4=0 QM5=1 byte=0x2A decimal=42" ] ||
  fail "vx3340ctl on the copied parllio.dll said '$out'"

# Failures end with a message and a non-zero code: a missing DLL, and a program still running
# (the window is found by its class, vx3340ctl.exe by its file in use).
run "$setup" /S "/PARLLIO=C:\\no\\such\\parllio.dll"
[ "$status" -ne 0 ] || fail "a missing parllio.dll was accepted"
for program in "vx3340.exe --simulate" "vx3340ctl.exe --simulate --count 100 --interval 100"; do
  # shellcheck disable=SC2086
  (cd "$dir" && exec "$WINE" ./$program >/dev/null 2>&1) &
  sleep 3
  status=0
  "$WINE" "$setup" /S >/dev/null 2>&1 || status=$?
  wineserver -k
  wait || true
  [ "$status" -ne 0 ] || fail "setup replaced a running $program"
done

# A silent uninstall leaves no file, shortcut or key of ours.
run "$dir/uninstall.exe" /S
for _ in $(seq 100); do [ -d "$dir" ] || break; sleep 0.2; wineserver -w; done
[ ! -e "$dir" ] || fail "left behind: $(ls "$dir")"
[ ! -e "$menu" ] || fail "shortcuts left behind"
"$WINE" reg query "$key" "$VX_REG_VIEW" >/dev/null 2>&1 && fail "uninstall key left behind"
# ... but keeps a parllio.dll that it did not copy.
run "$setup" /S
cp "$double" "$dir/parllio.dll"
run "$dir/uninstall.exe" /S
for _ in $(seq 100); do [ -e "$dir/vx3340.exe" ] || break; sleep 0.2; wineserver -w; done
installed "parllio.dll "
echo "ok: $(basename "$setup") under $WINE"
