#!/usr/bin/env bash
# Installs everything this project needs on a fresh Debian machine. Safe to run again:
# it only calls apt-get when a needed command or package is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-dev   # native build, sanitizers, libFuzzer
  googletest libgtest-dev                        # unit tests (native, and sources for MinGW)
  mingw-w64                                      # the Windows cross compilers and windres
  wine wine64                                    # runs the x86_64 Windows build and its tests
  xvfb imagemagick xdotool                       # virtual display and screenshots
  python3 file                                   # generators; import checks
  timgm6mb-soundfont                             # the system's General MIDI SoundFont
  fluidsynth                                     # reference renderer for comparisons
  pulseaudio pulseaudio-utils                    # a private sound server and recorder for audio tests
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
