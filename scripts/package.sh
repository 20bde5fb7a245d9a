#!/usr/bin/env bash
# Builds the 32-bit Windows release and writes dist/ZulinPlayer-VERSION-win32.zip: the
# stripped player.exe and midimix.exe, README.txt (Windows line ends) and LICENSE.
#   scripts/package.sh [BUILD_DIR]
# BUILD_DIR (default $PLAYER_BUILD_ROOT/package) is the i686 Release tree, configured here
# without tests; test.sh passes its own i686 tree, which is configured the same way.
# Prints the zip's path as its last line; the build's output goes to stderr.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" >&2

export PLAYER_BUILD_ROOT=${PLAYER_BUILD_ROOT:-$root/build}
B=$PLAYER_BUILD_ROOT
dir=${1:-$B/package}
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLAYER_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DPLAYER_BUILD_ROOT="$B" >&2
cmake --build "$dir" --target player midimix >&2

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
if [ -z "$version" ]; then
  echo "package: no project version in $dir/CMakeCache.txt" >&2
  exit 1
fi
name=ZulinPlayer-$version-win32
stage=$dir/stage/$name
rm -rf "$stage"
mkdir -p "$stage" "$root/dist"

for exe in player midimix; do
  i686-w64-mingw32-strip --strip-all -o "$stage/$exe.exe" "$dir/bin/$exe.exe"
done
# Windows line ends, so Notepad on any version shows the lines.
sed "s/@VERSION@/$version/; s/\$/\r/" "$root/res/README.txt" >"$stage/README.txt"
sed 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE"

zip=$root/dist/$name.zip
python3 - "$stage" "$zip" <<'PY'
import os, sys, zipfile
stage, out = sys.argv[1], sys.argv[2]
tmp = out + ".tmp"
with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
    for name in ("player.exe", "midimix.exe", "README.txt", "LICENSE"):
        z.write(os.path.join(stage, name), name)
os.replace(tmp, out)
PY
echo "package: $(du -k "$zip" | cut -f1) KB: player.exe $(du -k "$stage/player.exe" | cut -f1) KB, midimix.exe $(du -k "$stage/midimix.exe" | cut -f1) KB" >&2
echo "$zip"
