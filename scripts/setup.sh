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
  libvorbis-dev libogg-dev                       # Ogg Vorbis decoding of SF3 samples (native)
  fluidr3mono-gm-soundfont                       # a real SF3 SoundFont for the tests
  vorbis-tools                                   # oggenc: the tests encode a tiny SF3 sample
  dpkg-dev                                       # apt-get source unpacks with dpkg-source
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

# The Windows builds compile libogg and libvorbis from Debian's own source packages (see
# cmake/vorbis.cmake). apt-get source needs a deb-src entry beside the deb one.
root=$(cd "$(dirname "$0")/.." && pwd)
src_dir="$root/build/deb-src"
want=(libogg:1.3.5 libvorbis:1.3.7)
need_fetch=0
for w in "${want[@]}"; do
  [ -d "$src_dir/${w%%:*}-${w##*:}" ] || need_fetch=1
done
if [ "$need_fetch" -eq 1 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      # deb822: the same stanzas, for sources.
      sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        $SUDO tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
    else
      grep -hE '^deb ' /etc/apt/sources.list 2>/dev/null | sed -E 's/^deb /deb-src /' |
        $SUDO tee /etc/apt/sources.list.d/debian-src.list >/dev/null
    fi
    $SUDO apt-get update -qq
  fi
  mkdir -p "$src_dir"
  for w in "${want[@]}"; do
    name=${w%%:*} version=${w##*:}
    [ -d "$src_dir/$name-$version" ] && continue
    pkgver=$(apt-cache showsrc "$name" | awk -v v="$version" '/^Version:/ && index($2, v) == 1 { print $2; exit }')
    if [ -z "$pkgver" ]; then
      echo "setup: Debian offers no source of $name $version" >&2
      exit 1
    fi
    (cd "$src_dir" && apt-get source -qq "$name=$pkgver" >/dev/null)
  done
fi
