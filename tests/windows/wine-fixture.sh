#!/usr/bin/env bash
# Starts (start) or stops (stop) the wineserver that all the Windows tests share, in the prefix
# named by WINEPREFIX (32- or 64-bit, as WINEARCH says); start creates the prefix the first
# time. WINE names the loader: wine, or wine64 for the 64-bit test build.
#
# The server and the system's own programs that wine starts outlive this script: they must not
# hold on to its standard output, or ctest would wait for them. Their output goes to a log.
set -euo pipefail
: "${WINEPREFIX:?}" "${WINEARCH:?}" "${WINE:?}"
[[ ${1:-} == @(start|stop) ]] || { echo "usage: $0 start|stop" >&2 && exit 2; }
exec </dev/null >>"$WINEPREFIX.log" 2>&1
# Stops the server; before a start, one left over from an interrupted run, which may hang on to
# a display that is gone.
wineserver -k || true
wineserver -w || true
[ "$1" = start ] || exit 0
mkdir -p "$WINEPREFIX"
wineserver -p
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$WINE" wineboot -i
  # Windows draw their own frames, with no window manager to wait for on the virtual display.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
fi
# Returns once the prefix is complete and wine's start-up programs are running.
"$WINE" cmd /c exit 0
