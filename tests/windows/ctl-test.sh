#!/usr/bin/env bash
# vx3340ctl.exe under wine on the parllio.dll double: start-up as each Windows version (the path
# it takes, the library calls, trace rows, message order), a missing DLL or function, and a SCPI
# session on standard input and over TCP. The runs' transcript must equal EXPECTED.
#   ctl-test.sh FOLDERS EXPECTED
# FOLDERS holds full/, partial/ and none/: vx3340ctl.exe with the double, with the double that
# lacks GetParallelPortCount, and without any parllio.dll. WINE names the loader (wine or wine64)
# and VX_REG_VIEW the registry view the program reads (/reg:32 or /reg:64).
set -euo pipefail
: "${WINE:?}" "${VX_REG_VIEW:?}"
folders=$1 expected=$2
work=$(mktemp -d)
key='HKCU\Software\Wine\AppDefaults\vx3340ctl.exe'
trap '"$WINE" reg delete "$key" /v Version /f "$VX_REG_VIEW" >/dev/null 2>&1; rm -rf "$work"' EXIT
windows_folders=$("$WINE" winepath -w "$folders" | tr -d '\r')

# Each run: the Windows version wine reports (or "default"), the folder, the double's settings,
# the arguments. The transcript gets the run, its output and exit code, and the double's calls
# other than the port accesses (which the trace shows).
# shellcheck disable=SC2016
while IFS='|' read -r version folder variables arguments; do
  if [ "$version" = default ]; then
    "$WINE" reg delete "$key" /v Version /f "$VX_REG_VIEW" >/dev/null 2>&1 || true
  else
    "$WINE" reg add "$key" /v Version /d "$version" /f "$VX_REG_VIEW" >/dev/null 2>&1
  fi
  rm -f "$work/calls"
  echo "\$ $version $folder $variables vx3340ctl $arguments"
  status=0
  # shellcheck disable=SC2086
  (cd "$folders/$folder" && env PARLLIO_LOG="$("$WINE" winepath -w "$work/calls")" $variables \
    "$WINE" ./vx3340ctl.exe $arguments >"$work/out" 2>&1) || status=$?
  # Windows programs end lines with CR LF; the folders' place differs from build to build.
  tr -d '\r' <"$work/out" | FOLDERS="$windows_folders" awk '{
    while ((i = index($0, ENVIRON["FOLDERS"])) > 0)
      $0 = substr($0, 1, i - 1) "FOLDERS" substr($0, i + length(ENVIRON["FOLDERS"]))
    print }'
  echo "exit $status"
  [ -f "$work/calls" ] && tr -d '\r' <"$work/calls" | grep -vE '^(InByte|OutByte)' || true
done >"$work/transcript" <<'RUNS'
win95|full||--trace - a/ssb
win98|full|PARLLIO_CONTROL=FF|--trace - --range 4mA
nt40|full|PARLLIO_BASE=278|/SS --trace -
win2k|full|PARLLIO_CLAIM=refuse|--trace -
default|full|PARLLIO_BASE=none|--trace - /Ss
nt40|none||--trace -
win98|none||--simulate /SS
nt40|partial||--trace -
win98|partial||
win2k|full|PARLLIO_INBYTE_HIGH=10000|--trace -
RUNS

# A SCPI session on standard input.
printf '*IDN?\r\nCONF:FORC CURR;CAP 2\nCONF:FORC?;CAP?\nREAD?\nBOGUS\nSYST:ERR?\n' |
  (cd "$folders/full" && "$WINE" ./vx3340ctl.exe --simulate --serve -) | tr -d '\r' \
  >>"$work/transcript"

# One exchange over TCP.
(cd "$folders/full" && exec "$WINE" ./vx3340ctl.exe --simulate --serve 127.0.0.1:0 2>"$work/err") &
server=$!
for _ in $(seq 300); do grep -q "SCPI session on" "$work/err" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/.*on 127\.0\.0\.1:\([0-9]*\);.*/\1/p' "$work/err")
exec 3<>"/dev/tcp/127.0.0.1/${port:-1}"
printf 'CONF:RANG 4MA;RANG?\n' >&3
read -r -t 30 answer <&3 || true
exec 3<&-
kill "$server" 2>/dev/null || true
echo "TCP: ${answer%$'\r'}" >>"$work/transcript"

diff -u "$expected" "$work/transcript" && echo "ok: vx3340ctl.exe under $WINE"
