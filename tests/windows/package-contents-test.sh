#!/usr/bin/env bash
# What the shipped installer and zip hold: exactly the expected files, and 32-bit programs.
#   package-contents-test.sh SETUP.EXE ZIP
set -euo pipefail
setup=$1 zip=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
version=$(basename "$zip" | sed 's/^vx3340-\(.*\)-win32.zip$/\1/')

# 7-Zip opens NSIS installers: the installed files, and the plug-ins the pages use.
listing=$(7z l -slt "$setup" | awk '/^----------/ { files = 1 } files && sub(/^Path = /, "")' | sort)
expected=$(printf '%s\n' '$PLUGINSDIR/System.dll' '$PLUGINSDIR/modern-wizard.bmp' \
  '$PLUGINSDIR/nsDialogs.dll' README.txt uninstall.exe vx3340.exe vx3340ctl.exe | sort)
[ "$listing" = "$expected" ] || fail "the installer holds: $listing"

unzip -Z1 "$zip" | sort >"$work/zip"
printf '%s\n' "vx3340-$version/" "vx3340-$version/README.txt" "vx3340-$version/vx3340.exe" \
  "vx3340-$version/vx3340ctl.exe" | sort | diff -u - "$work/zip" >&2 || fail "the zip's files differ"

7z x -o"$work/setup" "$setup" vx3340.exe vx3340ctl.exe >/dev/null
unzip -q "$zip" -d "$work/zip-files"
for exe in "$work"/setup/*.exe "$work/zip-files/vx3340-$version"/*.exe; do
  file -b "$exe" | grep -q '^PE32 executable .*Intel 80386' || fail "$exe: $(file -b "$exe")"
  imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'a-z' 'A-Z' | sort)
  grep -qvxE 'ADVAPI32.DLL|GDI32.DLL|KERNEL32.DLL|MSVCRT.DLL|USER32.DLL|WS2_32.DLL|MSWSOCK.DLL' <<<"$imports" &&
    fail "$exe imports a DLL that does not ship with Windows: $imports"
done
cmp "$work/setup/vx3340.exe" "$work/zip-files/vx3340-$version/vx3340.exe" || fail "different programs"
echo "ok: the installer and the zip hold exactly the 32-bit programs and their README"
