#!/usr/bin/env bash
# Pictures of the track list's column header under a virtual X display (Xvfb): the player at
# its track-list width, made wider, maximized, and with the song opened again. The end-to-end
# driver asks for them and checks that every title stands over its column and nothing else is
# left in the header; they are kept as PNG files in
# $PLAYER_BUILD_ROOT/artefacts: header-585.png, header-800.png, header-maximized.png and
# header-reloaded.png (the song opened again while maximized); and focus-on.png and
# focus-solo.png, the first row's On box and Solo button with the focus mark on each in turn.
# Usage: scripts/screenshot-header.sh [E2E_TESTS_EXE]   (default: the x86_64 build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export PLAYER_BUILD_ROOT=${PLAYER_BUILD_ROOT:-$root/build}
exe=${1:-$PLAYER_BUILD_ROOT/win64/bin/e2e_tests.exe}
out=$PLAYER_BUILD_ROOT/artefacts
if [ ! -f "$exe" ]; then
  echo "screenshot-header: no driver at $exe" >&2
  exit 1
fi
mkdir -p "$out"

export WINEPREFIX
WINEPREFIX=$("$root/scripts/wine-prefix.sh" x11)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tmp=$(mktemp -d)
xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$tmp/display" ] && break
  sleep 0.1
done
if [ ! -s "$tmp/display" ]; then
  echo "screenshot-header: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=:$(tr -d '\n' <"$tmp/display")

shots="$tmp/shots"
mkdir -p "$shots"
export PLAYER_SHOT_DIR="Z:$(printf '%s' "$shots" | tr '/' '\\')"
status=0
wine "$exe" --gtest_filter='HeaderShots.*' </dev/null >"$tmp/run.log" 2>&1 &
driver=$!
# Answers the driver's requests: "<name>.want" holds "W H X Y" of the part of the screen.
answer() {
  local want name w h x y
  for want in "$shots"/*.want; do
    [ -e "$want" ] || continue
    name=$(basename "$want" .want)
    read -r w h x y <"$want"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
    convert "$out/$name.png" -type TrueColor "BMP3:$shots/$name.tmp"
    mv "$shots/$name.tmp" "$shots/$name.bmp"
    rm -f "$want"
  done
}
while kill -0 "$driver" 2>/dev/null; do
  answer
  sleep 0.2
done
wait "$driver" || status=$?
tr -d '\r' <"$tmp/run.log" | grep -v '^ALSA\|^$' || true
for f in header-585 header-800 header-maximized header-reloaded focus-on focus-solo; do
  if [ -f "$shots/$f.bmp" ]; then
    echo "$out/$f.png"
  else
    echo "screenshot-header: $f was not taken" >&2
    status=1
  fi
done
exit $status
