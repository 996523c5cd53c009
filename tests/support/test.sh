# shellcheck shell=bash
# What the shell tests share, sourced: fail says why a test fails and ends it; await waits for an
# event with a deadline; prefix checks a file that a run cut short.
fail() { echo "FAIL: $*" >&2 && exit 1; }

# await SECONDS WHAT COMMAND...: runs COMMAND every tenth of a second until it succeeds; fails,
# naming WHAT, once SECONDS have passed.
await() {
  local seconds=$1 what=$2 deadline=$((SECONDS + $1))
  shift 2
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -le "$deadline" ] || fail "$what did not come within $seconds s"
    sleep 0.1
  done
}

# prefix FILE EXPECTED: FILE holds whole lines, byte for byte the start of EXPECTED.
prefix() {
  [ -z "$(tail -c 1 "$1")" ] || fail "$1 ends inside a line"
  head -c "$(stat -c %s "$1")" "$2" | cmp -s - "$1" || fail "$1 is not the start of $2"
}
