#!/usr/bin/env bash
# Makes (once) and prints a Wine prefix for this project's Windows programs and tests.
#   scripts/wine-prefix.sh [null|x11]   (default null: headless through Wine's null graphics driver)
# The prefix lives under $PLAYER_BUILD_ROOT (default build/) so every build tree has its own.
set -euo pipefail
kind=${1:-null}
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${PLAYER_BUILD_ROOT:-$root/build}
mkdir -p "$build_root"
prefix=$(cd "$build_root" && pwd)/wine-$kind
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.ready" ]; then
  (
    flock 9
    if [ ! -f "$prefix/.ready" ]; then
      rm -rf "$prefix"
      WINEPREFIX="$prefix" wineboot -i >/dev/null 2>&1 || true
      if [ "$kind" = null ]; then
        WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      else
        # Wine draws its own title bars; no window manager to wait for under Xvfb.
        WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
      fi
      # A crash prints its backtrace and ends the program; Wine's crash dialog would wait
      # for a click that never comes under the null driver.
      WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      WINEPREFIX="$prefix" wineserver -w
      touch "$prefix/.ready"
    fi
  ) 9>"$build_root/.wine-$kind.lock"
fi
echo "$prefix"
