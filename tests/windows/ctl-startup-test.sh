#!/usr/bin/env bash
# vx3340ctl.exe's start-up under wine, on the parllio.dll double: the Windows version it reports
# and the path it takes, the library calls, the trace rows and the order of the messages.
#   ctl-startup-test.sh FOLDERS CASE
# FOLDERS holds full/, partial/ and none/: vx3340ctl.exe with the double, with the double that
# lacks GetParallelPortCount, and without any parllio.dll. WINE names the loader (wine or wine64)
# and VX_REG_VIEW the registry view the program reads (/reg:32 or /reg:64).
set -euo pipefail
: "${WINE:?}" "${VX_REG_VIEW:?}"
folders=$1
case_name=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# The Windows version wine reports to vx3340ctl.exe: win95, win98, nt40, win2k or default.
set_version() {
  local key='HKCU\Software\Wine\AppDefaults\vx3340ctl.exe'
  if [ "$1" = default ]; then
    "$WINE" reg delete "$key" /v Version /f "$VX_REG_VIEW" >/dev/null 2>&1 || true
  else
    "$WINE" reg add "$key" /v Version /d "$1" /f "$VX_REG_VIEW" >/dev/null 2>&1
  fi
}

# run VERSION FOLDER [VAR=VALUE...] -- ARGS...: runs the program; its standard output and error
# together (in the order written) go to $work/out, the double's calls to $work/calls.
run() {
  local version=$1 folder=$2
  shift 2
  local variables=()
  while [ "$1" != -- ]; do variables+=("$1"); shift; done
  shift
  set_version "$version"
  rm -f "$work/calls.crlf"
  (cd "$folders/$folder" &&
    env PARLLIO_LOG="$("$WINE" winepath -w "$work/calls.crlf")" "${variables[@]}" \
      "$WINE" ./vx3340ctl.exe "$@" >"$work/out.crlf" 2>&1) && status=0 || status=$?
  # Windows programs end their lines with CR LF.
  tr -d '\r' <"$work/out.crlf" >"$work/out"
  touch "$work/calls.crlf"
  tr -d '\r' <"$work/calls.crlf" >"$work/calls"
}

fail() {
  echo "FAIL ($case_name): $*" >&2
  failed=1
}

expect_status() {
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

# The output from its start up to and including the line given, against the expected lines.
expect_startup() {
  local last=$1
  sed "/^$(printf '%s' "$last" | sed 's/[]\/$*.^[]/\\&/g')\$/q" "$work/out" >"$work/startup"
  if ! diff -u "$work/expected" "$work/startup" >&2; then fail "start-up output differs"; fi
}

expect_last_line() {
  local got
  got=$(tail -n 1 "$work/out")
  [ "$got" = "$1" ] || fail "last line '$got', expected '$1'"
}

expect_no_library_path_calls() {
  if grep -E '^(ClaimParallelPort|GetParallelPortCount|GetParallelPortInfo)' "$work/calls" >&2; then
    fail "the 95/98 path called the functions above"
  fi
}

expect_output_has() {
  grep -qF -- "$1" "$work/out" || { cat "$work/out" >&2; fail "no '$1' in the output"; }
}

readonly flags_line='CPOH=0 CPOL=1 CHL-DET=0 CLL_DET=1 QM4=0 QM5=1 byte=0x2A decimal=42'

case "$case_name" in
  win95 | win98)
    text="Windows ${case_name#win}"
    # The switch in lower case, inside a longer word.
    run "$case_name" full -- --trace - "a/ssb"
    expect_status 0
    cat >"$work/expected" <<END
InByte 0x37A -> 0xCC
OutByte 0x37A 0xC4
Show Status: Windows Version:$text
             Port Address:0x378
OutByte 0x378 0xC0
OutByte 0x37A 0x04
END
    expect_startup "OutByte 0x37A 0x04"
    expect_no_library_path_calls
    expect_last_line "$flags_line"
    ;;
  nt40)
    # The library reports LPT2: the program uses the address it is given.
    run nt40 full PARLLIO_BASE=278 -- /SS --trace -
    expect_status 0
    cat >"$work/expected" <<'END'
GetParallelPortCount -> 1
ClaimParallelPort 1 -1 -> -1
GetParallelPortInfo 1 -> 1 base=0x278
InByte 0x27A -> 0xCC
OutByte 0x27A 0xC4
Show Status: Windows Version:Windows NT 4.0
             Port Address:0x278
OutByte 0x278 0xC0
OutByte 0x27A 0x04
END
    expect_startup "OutByte 0x27A 0x04"
    head -n 3 "$work/calls" >"$work/first-calls"
    cat >"$work/expected" <<'END'
GetParallelPortCount -> 1
ClaimParallelPort 1 -1 -> 0x5A5AFFFF
GetParallelPortInfo 1 size=12 reserved=zero -> 0x5A5A0001 base=0x278
END
    diff -u "$work/expected" "$work/first-calls" >&2 || fail "library calls differ"
    expect_last_line "$flags_line"
    ;;
  win2k)
    # A refused claim is reported, and start-up goes on with the port information.
    run win2k full PARLLIO_CLAIM=refuse -- --trace -
    expect_status 0
    cat >"$work/expected" <<'END'
GetParallelPortCount -> 1
ClaimParallelPort 1 -1 -> 0
VX3340: claim parallel port failed
        parllio.dll refused to claim port 1. Another program (a printer driver or the print spooler) may be using it: close it and start this program again.
GetParallelPortInfo 1 -> 1 base=0x378
InByte 0x37A -> 0xCC
OutByte 0x37A 0xC4
OutByte 0x378 0xC0
OutByte 0x37A 0x04
END
    expect_startup "OutByte 0x37A 0x04"
    expect_last_line "$flags_line"
    ;;
  default)
    # Today's Windows versions have no text of their own and take the library path. Without a
    # port nothing reaches the port registers, and the program says why it stops.
    run default full PARLLIO_BASE=none -- --trace - /Ss
    expect_status 3
    cat >"$work/expected" <<'END'
GetParallelPortCount -> 0
ClaimParallelPort 1 -1 -> -1
GetParallelPortInfo 1 -> 0
GetPortAddress Error: This PC does not appear to have a Printer Port
                      parllio.dll knows no port 1. Check that the PC has a parallel port and that it is enabled in the BIOS setup and in the Device Manager.
Show Status: Windows Version:
             Port Address:0x0
vx3340ctl: no parallel-port address was found; nothing was sent to the board
END
    expect_startup "vx3340ctl: no parallel-port address was found; nothing was sent to the board"
    if grep -E '^(InByte|OutByte)' "$work/calls" >&2; then fail "port access without a port"; fi
    ;;
  missing-library)
    for version in nt40 win98; do
      run "$version" none -- --trace -
      expect_status 5
      expect_output_has "vx3340ctl: Run-time error '53': File not found: parllio.dll. Put parllio.dll beside the program"
    done
    ;;
  missing-function)
    # Only the library path calls GetParallelPortCount: the 95/98 path runs without it.
    run nt40 partial -- --trace -
    expect_status 5
    expect_output_has "vx3340ctl: Run-time error '453': Can't find DLL entry point GetParallelPortCount in parllio.dll."
    expect_output_has "beside the program"
    run win98 partial -- --trace -
    expect_status 0
    expect_last_line "$flags_line"
    ;;
  scpi)
    # A SCPI session on standard input, then one exchange over TCP.
    printf '*IDN?\r\nCONF:FORC CURR;CAP 2\nCONF:FORC?;CAP?\nREAD?\nBOGUS\nSYST:ERR?\n' |
      (cd "$folders/full" && "$WINE" ./vx3340ctl.exe --simulate --serve -) | tr -d '\r' >"$work/out"
    printf '%s\n' "VX3340 evaluation board,vx3340ctl,0,1.2.0.0" "CURR;2" "0,1,0,0,0,0,2" \
      '-113,"Undefined header"' | diff -u - "$work/out" >&2 || fail "the stdin session differs"
    (cd "$folders/full" && exec "$WINE" ./vx3340ctl.exe --simulate --serve 127.0.0.1:0 2>"$work/err") &
    server=$!
    for _ in $(seq 300); do grep -q "SCPI session on" "$work/err" 2>/dev/null && break; sleep 0.1; done
    port=$(sed -n 's/.*on 127\.0\.0\.1:\([0-9]*\);.*/\1/p' "$work/err")
    exec 3<>"/dev/tcp/127.0.0.1/${port:-1}"
    printf 'CONF:RANG 4MA;RANG?\n' >&3
    read -r -t 30 answer <&3 || true
    exec 3<&-
    kill "$server" 2>/dev/null || true
    [ "${answer%$'\r'}" = "4MA" ] || fail "TCP answered '$answer'"
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac

set_version default
if [ "$failed" -ne 0 ]; then
  echo "--- output of the last run:" >&2
  cat "$work/out" >&2
  exit 1
fi
echo "ok: $case_name"
