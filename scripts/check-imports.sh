#!/usr/bin/env bash
# Checks that the Windows programs import only system DLLs (static runtime, no MinGW DLLs).
set -euo pipefail
status=0
for dir in "$@"; do
  for exe in "$dir"/*.exe; do
    [ -f "$exe" ] || continue
    case "$(file -b "$exe")" in *x86-64*) dump=x86_64-w64-mingw32-objdump ;; *) dump=i686-w64-mingw32-objdump ;; esac
    bad=$($dump -p "$exe" | awk '/DLL Name/ {print $3}' | grep -v -i -E '^(kernel32|user32|gdi32|comctl32|comdlg32|winmm|msvcrt|advapi32|shell32|ole32|api-ms-win-.*)\.dll$' || true)
    if [ -n "$bad" ]; then
      echo "check-imports: $exe imports $bad" >&2
      status=1
    fi
  done
done
exit $status
