#!/usr/bin/env bash
# Checks the release zip as a user gets it: unpacked into a fresh folder, it holds the two
# programs (32-bit, stripped, importing only system DLLs, with their resources), README.txt
# and LICENSE.
#   scripts/check-package.sh ZIP
# The programs are not started: this machine's kernel does not execute 32-bit code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zip=$1
fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
failed=0
ok() { echo "check-package: ok: $*"; }
bad() { echo "check-package: FAILED: $*" >&2; failed=1; }

# Either architecture's objdump, so a wrong program is still examined and named.
objdump_of() {
  local f=$1
  shift
  case "$(file -b "$f")" in
    *x86-64*) x86_64-w64-mingw32-objdump "$@" "$f" ;;
    *) i686-w64-mingw32-objdump "$@" "$f" ;;
  esac
}

python3 -m zipfile -e "$zip" "$fresh"

for exe in player midimix; do
  f=$fresh/$exe.exe
  if [ ! -f "$f" ]; then
    bad "$exe.exe is not in the zip"
    continue
  fi
  kind=$(file -b "$f")
  format=$(i686-w64-mingw32-objdump -f "$f" 2>/dev/null | awk '/file format/ {print $NF}' || true)
  if [[ $kind == "PE32 executable"* && $format == pei-i386 ]]; then
    ok "$exe.exe: $kind ($format)"
  else
    bad "$exe.exe is not a 32-bit i386 program: $kind ($format)"
  fi
  debug=$(objdump_of "$f" -h | awk '$2 ~ /^\.debug/ {print $2}' | paste -sd' ' || true)
  symbols=$(objdump_of "$f" -t | grep -c '^\[' || true)
  if [ -z "$debug" ] && [ "$symbols" -eq 0 ]; then
    ok "$exe.exe is stripped"
  else
    bad "$exe.exe is not stripped: sections ${debug:-none}, $symbols symbols"
  fi
done

if "$root/scripts/check-imports.sh" "$fresh"; then
  ok "the programs import only system DLLs"
else
  bad "a program imports a DLL a Windows machine does not have"
fi

# The player's resources survive the strip: menu, the three dialogs, the icons and toolbar
# strip, and the build's version in the About box.
version=$(basename "$zip" | sed -E 's/^ZulinPlayer-(.*)-win32\.zip$/\1/')
rc=$(i686-w64-mingw32-windres -J coff -i "$fresh/player.exe" -O rc 2>/dev/null || true)
missing=()
for want in ' MENU' '"&File"' '"&Music"' '"&Help"' 'CAPTION "About Zulin Player"' \
            'CAPTION "Record Track"' 'CAPTION "Exporting Audio"' 'RT_BITMAP' 'RT_ICON' 'RT_GROUP_ICON' \
            'STRINGTABLE' "Release $version"; do
  grep -qF -- "$want" <<<"$rc" || missing+=("$want")
done
if [ ${#missing[@]} -eq 0 ]; then
  ok "player.exe carries its menu, dialogs, icons, toolbar strip and version $version"
else
  bad "player.exe lacks resources: ${missing[*]}"
fi

for doc in README.txt LICENSE; do
  if [ ! -s "$fresh/$doc" ]; then
    bad "$doc is not in the zip"
  elif grep -q $'[^\r]$' "$fresh/$doc" || ! grep -q $'\r$' "$fresh/$doc"; then
    bad "$doc does not have Windows line ends"
  else
    ok "$doc is there, with Windows line ends"
  fi
done
grep -q "$version" "$fresh/README.txt" 2>/dev/null || bad "README.txt does not name version $version"
grep -q "LICENSE" "$fresh/README.txt" 2>/dev/null || bad "README.txt does not point to LICENSE"

echo "check-package: the programs were not started: this machine's kernel does not execute 32-bit code"
[ "$failed" -eq 0 ]
