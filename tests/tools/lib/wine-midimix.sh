#!/usr/bin/env bash
# Runs the Windows build of midimix ($MIDIMIX_EXE) under Wine in the project's headless prefix,
# with its stdout and stderr kept apart and their CRLF line ends made LF, so the black-box
# tests read it exactly as the native build. Output goes through files: Wine's helper
# processes inherit the pipes and would keep the caller waiting.
set -uo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$("$root/scripts/wine-prefix.sh" null)}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p60 >/dev/null 2>&1 || true
out=$(mktemp)
err=$(mktemp)
wine "${MIDIMIX_EXE:?MIDIMIX_EXE names midimix.exe}" "$@" </dev/null >"$out" 2>"$err"
rc=$?
tr -d '\r' <"$out"
tr -d '\r' <"$err" >&2
rm -f "$out" "$err"
exit $rc
