#!/usr/bin/env bash
# vx3340ctl.exe under wine on the DLL doubles: start-up as each Windows version (the path it
# takes, the library calls, trace rows, message order), a missing DLL or function, bad port
# options, InpOut32 on the ports that the registry lists, and a SCPI session on standard input
# and over TCP. The runs' transcript must equal EXPECTED.
#   ctl-test.sh FOLDERS EXPECTED [wow64]   (EXPECTED: a file's name in tests/data)
# FOLDERS holds full/, partial/, none/ and inpout/: vx3340ctl.exe with both doubles, with the
# parllio.dll double that lacks GetParallelPortCount, without any DLL, and with only the
# inpout32.dll double (and seed-ports.exe). wow64 takes the runs for a 32-bit program in a 64-bit
# prefix instead. WINE names the loader (wine or wine64) and VX_REG_VIEW the registry view the
# program reads (/reg:32 or /reg:64).
set -euo pipefail
: "${WINE:?}" "${VX_REG_VIEW:?}" "${WINEPREFIX:?}" "${WINEARCH:?}"
folders=$1 expected=$(dirname "$0")/../data/$2 runs=${3:-all}
work=$(mktemp -d)
. "$(dirname "$0")/../support/test.sh"
key='HKCU\Software\Wine\AppDefaults\vx3340ctl.exe'
cleanup() {
  "$WINE" reg delete "$key" /v Version /f "$VX_REG_VIEW" >/dev/null 2>&1 || true
  "$WINE" reg delete 'HKLM\SYSTEM\CurrentControlSet\Enum\VXTEST' /f "$VX_REG_VIEW" >/dev/null 2>&1 || true
  rm -rf "$work" "$WINEPREFIX/dosdevices/lpt1" "$WINEPREFIX/dosdevices/lpt2"
}
trap cleanup EXIT
windows_folders=$("$WINE" winepath -w "$folders" | tr -d '\r')
calls=$("$WINE" winepath -w "$work/calls")

# The PC's ports for InpOut32: Windows' list in the registry (see SeedPorts.cpp), and LPT1 and
# LPT2 as devices that open, files here.
(cd "$folders/inpout" && "$WINE" ./seed-ports.exe "$([ "$WINEARCH" = win64 ] && echo 64 || echo 32)")
touch "$work/lpt1" "$work/lpt2"
for n in 1 2; do ln -sfn "$work/lpt$n" "$WINEPREFIX/dosdevices/lpt$n"; done

# run VERSION FOLDER VARIABLES ARGUMENTS: the Windows version wine reports (or "default"), the
# folder, the doubles' settings, the arguments. The transcript gets the run, its output and exit
# code, and the doubles' calls other than the port accesses, which the trace shows; those that
# reach inpout32.dll must be the trace's own.
run() {
  local status=0 setting=(add "$key" /v Version /d "$1")
  [ "$1" != default ] || setting=(delete "$key" /v Version)
  "$WINE" reg "${setting[@]}" /f "$VX_REG_VIEW" >/dev/null 2>&1 || [ "$1" = default ]
  rm -f "$work/calls"
  echo "\$ $1 $2 $3 vx3340ctl $4"
  # shellcheck disable=SC2086
  (cd "$folders/$2" && env PARLLIO_LOG="$calls" INPOUT_LOG="$calls" FTD2XX_LOG="$calls" $3 \
    "$WINE" ./vx3340ctl.exe $4 >"$work/out" 2>&1) || status=$?
  # Windows programs end lines with CR LF; the folders' place differs from build to build, and a
  # reading's time stamp from run to run.
  FOLDERS="$windows_folders" perl -pe 's/\r//g; s/\Q$ENV{FOLDERS}\E/FOLDERS/g; s/^\S+Z //' \
    <"$work/out" | tee "$work/shown"
  echo "exit $status"
  [ -f "$work/calls" ] || return 0
  tr -d '\r' <"$work/calls" | tee "$work/called" | grep -vE '^(InByte|OutByte)' || true
  grep -q IsInpOutDriverOpen "$work/called" || return 0
  cmp -s <(grep -E '^(InByte|OutByte)' "$work/shown") <(grep -E '^(InByte|OutByte)' "$work/called") ||
    echo "inpout32.dll saw other port accesses than the trace shows"
}

# The runs: the rows of windows-ctl.runs beside EXPECTED. Those marked wow64 are also the runs
# in a 64-bit prefix.
while IFS='|' read -r version folder variables arguments also; do
  [[ $version != \#* ]] || continue
  [ "$runs" = all ] || [ "$also" = wow64 ] || continue
  run "$version" "$folder" "$variables" "$arguments"
done >"$work/transcript" <"$(dirname "$expected")/windows-ctl.runs"

# The rest only in the full set of runs.
if [ "$runs" = all ]; then
  # A port in use: another vx3340ctl.exe holds LPT1, opened without sharing, so the claim fails.
  (cd "$folders/inpout" && exec "$WINE" ./vx3340ctl.exe --count 2 --interval 60000 --trace - \
    >"$work/holder" 2>&1) &
  holder=$!
  await 30 "the other program's claim" grep "ClaimParallelPort 1 -1 -> 1" "$work/holder"
  run default inpout "" "--trace -" >>"$work/transcript"
  kill "$holder" 2>/dev/null || true
  wait "$holder" || true

  # A SCPI session on standard input.
  printf '*IDN?\r\nCONF:FORC CURR;CAP 2\nCONF:FORC?;CAP?\nREAD?\nBOGUS\nSYST:ERR?\n' |
    (cd "$folders/full" && "$WINE" ./vx3340ctl.exe --simulate --serve -) | tr -d '\r' \
    >>"$work/transcript"

  # One exchange over TCP.
  (cd "$folders/full" && exec "$WINE" ./vx3340ctl.exe --simulate --serve 127.0.0.1:0 2>"$work/err") &
  server=$!
  await 30 "the SCPI session" grep "SCPI session on" "$work/err"
  port=$(sed -n 's/.*on 127\.0\.0\.1:\([0-9]*\);.*/\1/p' "$work/err")
  exec 3<>"/dev/tcp/127.0.0.1/${port:-1}"
  printf 'CONF:RANG 4MA;RANG?\n' >&3
  read -r -t 30 answer <&3 || true
  exec 3<&-
  kill "$server" 2>/dev/null || true
  echo "TCP: ${answer%$'\r'}" >>"$work/transcript"
fi

diff -u "$expected" "$work/transcript" && echo "ok: vx3340ctl.exe under $WINE ($runs runs)"
