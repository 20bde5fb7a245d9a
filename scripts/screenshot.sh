#!/usr/bin/env bash
# Starts the player under a virtual X display (Xvfb) and saves screenshots of its main window
# in $PLAYER_BUILD_ROOT/artefacts (default build/artefacts):
#   player-song.png    the demo song opened from the command line: playing, track list shown
#   player-empty.png   a second start with no song, which replaces the first: the small window
# Usage: scripts/screenshot.sh [PLAYER_EXE]   (default: the x86_64 build, build/win64/bin)
# Prints the screenshots' paths. Fails when the window does not appear or a picture is blank.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export PLAYER_BUILD_ROOT=${PLAYER_BUILD_ROOT:-$root/build}
exe=${1:-$PLAYER_BUILD_ROOT/win64/bin/player.exe}
seconds=${SHOT_SECONDS:-4}
out=$PLAYER_BUILD_ROOT/artefacts
if [ ! -f "$exe" ]; then
  echo "screenshot: no player at $exe (scripts/run.sh builds it)" >&2
  exit 1
fi
mkdir -p "$out"

export WINEPREFIX
WINEPREFIX=$("$root/scripts/wine-prefix.sh" x11)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tmp=$(mktemp -d)
xvfb_pid=""

cleanup() {
  # Close the player as a user would (its playback copy is then deleted), then end what
  # Wine started in this prefix, then the display.
  if [ -n "${DISPLAY:-}" ]; then
    timeout 10 wine taskkill /im player.exe >/dev/null 2>&1 || true
    sleep 1
  fi
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# A display of our own, whatever number is free; Xvfb writes it once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$tmp/display" ] && break
  sleep 0.1
done
if [ ! -s "$tmp/display" ]; then
  echo "screenshot: Xvfb did not start" >&2
  cat "$tmp/xvfb.log" >&2
  exit 1
fi
export DISPLAY=:$(tr -d '\n' <"$tmp/display")

# Waits for the player's main window and prints its X window id.
find_window() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name '^Zulin Player' 2>/dev/null | tail -1 || true)
    [ -n "$id" ] && break
    sleep 0.2
  done
  echo "$id"
}

# Saves the window (or the whole screen when it cannot be found by itself) and checks that
# the picture shows something.
shoot() {
  local id=$1 file=$2
  import -window "$id" "$file" 2>/dev/null || import -window root "$file"
  local colours
  colours=$(convert "$file" -format %k info:)
  if [ "$colours" -lt 8 ]; then
    echo "screenshot: $file is blank ($colours colours)" >&2
    exit 1
  fi
  echo "$file"
}

demo="Z:$(printf '%s' "$root/res/demo.mid" | tr '/' '\\')"
wine "$exe" "$demo" >"$tmp/player1.log" 2>&1 &
id=$(find_window)
if [ -z "$id" ]; then
  echo "screenshot: the player's window did not appear" >&2
  exit 1
fi
sleep "$seconds"
shoot "$(find_window)" "$out/player-song.png"

# A new start closes the running copy and shows the empty player.
wine "$exe" >"$tmp/player2.log" 2>&1 &
sleep 2
shoot "$(find_window)" "$out/player-empty.png"
