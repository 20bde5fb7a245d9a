#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests under AddressSanitizer/UBSan,
# the Windows unit and end-to-end tests under Wine (x86_64), the i686 release build
# (built, packaged and checked, not run: this machine cannot execute 32-bit code), and a
# short fuzzing run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"

export PLAYER_BUILD_ROOT=${PLAYER_BUILD_ROOT:-$root/build}
B=$PLAYER_BUILD_ROOT
jobs=$(nproc)
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
FUZZ_SF_SECONDS=${FUZZ_SF_SECONDS:-45}
summary=()
total_pass=0
total_fail=0

# Runs ctest in a build tree and adds its counts to the totals.
run_ctest() {
  local name=$1 dir=$2
  shift 2
  local log="$B/ctest-$name.log"
  set +e
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 300 "$@") 2>&1 | tee "$log"
  set -e
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -z "$line" ]; then
    echo "test.sh: $name: ctest gave no result" >&2
    total_fail=$((total_fail + 1))
    summary+=("$name: no result")
    return
  fi
  local failed all
  failed=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
  all=$(echo "$line" | sed -E 's/.* tests failed out of ([0-9]+).*/\1/')
  total_pass=$((total_pass + all - failed))
  total_fail=$((total_fail + failed))
  summary+=("$name: $((all - failed)) passed, $failed failed")
}

echo "== native build (ASan + UBSan)"
cmake -S . -B "$B/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLAYER_SANITIZE=ON -DPLAYER_BUILD_ROOT="$B" >/dev/null
cmake --build "$B/native" -j"$jobs"

echo "== Windows x86_64 build"
cmake -S . -B "$B/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DPLAYER_BUILD_ROOT="$B" >/dev/null
cmake --build "$B/win64" -j"$jobs"

echo "== Windows i686 build (release; built and checked, not run)"
cmake -S . -B "$B/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DPLAYER_TESTS=OFF -DPLAYER_BUILD_ROOT="$B" >/dev/null
cmake --build "$B/win32" -j"$jobs"
"$root/scripts/check-imports.sh" "$B/win32/bin" "$B/win64/bin"

echo "== release package (from the i686 build: zipped, unpacked into a fresh folder, checked)"
if zip=$("$root/scripts/package.sh" "$B/win32" | tail -n 1) && "$root/scripts/check-package.sh" "$zip"; then
  summary+=("package: 1 passed, 0 failed")
  total_pass=$((total_pass + 1))
else
  summary+=("package: 0 passed, 1 failed")
  total_fail=$((total_fail + 1))
fi

if [ -f fuzz/fuzz_song.cpp ]; then
  echo "== fuzzing (${FUZZ_SECONDS}s)"
  CC=clang CXX=clang++ cmake -S . -B "$B/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLAYER_FUZZ=ON -DPLAYER_SANITIZE=ON -DPLAYER_TESTS=OFF -DPLAYER_BUILD_ROOT="$B" >/dev/null
  cmake --build "$B/fuzz" -j"$jobs" --target fuzz_song
  work=$(mktemp -d)
  cp fuzz/corpus/* "$work"/ 2>/dev/null || true
  if "$B/fuzz/fuzz_song" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 "$work" >"$B/fuzz.log" 2>&1; then
    tail -n 12 "$B/fuzz.log" | grep -E 'stat::number_of_executed_units|Done' || true
    summary+=("fuzz: 1 passed, 0 failed")
    total_pass=$((total_pass + 1))
  else
    tail -n 60 "$B/fuzz.log"
    summary+=("fuzz: 0 passed, 1 failed")
    total_fail=$((total_fail + 1))
  fi
  rm -rf "$work"
fi

if [ -f fuzz/fuzz_soundfont.cpp ]; then
  echo "== fuzzing the SoundFont loader and a short render (${FUZZ_SF_SECONDS}s)"
  cmake --build "$B/fuzz" -j"$jobs" --target fuzz_soundfont
  work=$(mktemp -d)
  cp fuzz/sf2-corpus/* "$work"/ 2>/dev/null || true
  dict=()
  [ -f fuzz/sf2.dict ] && dict=(-dict=fuzz/sf2.dict)
  if "$B/fuzz/fuzz_soundfont" -max_total_time="$FUZZ_SF_SECONDS" -print_final_stats=1 "${dict[@]}" "$work" >"$B/fuzz-sf.log" 2>&1; then
    tail -n 12 "$B/fuzz-sf.log" | grep -E 'stat::number_of_executed_units|Done' || true
    summary+=("fuzz soundfont: 1 passed, 0 failed")
    total_pass=$((total_pass + 1))
  else
    tail -n 60 "$B/fuzz-sf.log"
    summary+=("fuzz soundfont: 0 passed, 1 failed")
    total_fail=$((total_fail + 1))
  fi
  rm -rf "$work"
fi

echo "== native tests"
run_ctest native "$B/native"
echo "== Windows tests under Wine"
# The audio tests run with a private sound server (a null sink they record); the others
# without one, as on a machine with no sound, where the player plays on silently.
audio_tests='^(AudioHarness|Live|Heard|Soak)\.|^e2e_sound$|^PlayerTest\.LiveSound'
run_ctest win64 "$B/win64" -E "$audio_tests"
echo "== Windows audio tests under Wine, with a private sound server"
eval "$("$root/scripts/audio-server.sh" start)"
# A recorded test that fails is run once more: the start of a play is known to strike its
# first wave queue twice now and then (see docs/testing.md), and the sound server shares
# the machine with everything else. A second failure fails the run.
run_ctest win64-audio "$B/win64" -R "$audio_tests" --repeat until-pass:2
"$root/scripts/audio-server.sh" stop
WINEPREFIX=$("$root/scripts/wine-prefix.sh" null) wineserver -k 2>/dev/null || true

echo
printf '%s\n' "${summary[@]}"
echo "all: $total_pass passed, $total_fail failed"
[ "$total_fail" -eq 0 ]
