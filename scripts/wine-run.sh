#!/usr/bin/env bash
# CTest's cross-compiling emulator: runs one Windows program under Wine in the project's
# headless prefix. Output goes through a file, because Wine's helper processes inherit the
# output pipe and would keep CTest waiting for them.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$("$here/wine-prefix.sh" null)}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p60 >/dev/null 2>&1 || true
out=$(mktemp)
wine "$@" </dev/null >"$out" 2>&1
rc=$?
tr -d '\r' <"$out"
# Wine's debugger ends a crashed program with exit code 0; a crash (of the program or of
# one it started) is a failure whatever the code says.
if [ "$rc" -eq 0 ] && grep -q '^wine: Unhandled' "$out"; then
  rc=70
fi
rm -f "$out"
exit $rc
