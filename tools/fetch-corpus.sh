#!/usr/bin/env bash
# Fetches a corpus of real MIDI files that nobody here wrote, from Debian packages, into
# DEST (default ./corpus, git-ignored). The packages are downloaded and unpacked, never
# installed. Running it again with the corpus in place does nothing.
#
#   tools/fetch-corpus.sh [DEST]
#
# The packages (about 35 MB of downloads, about 280 songs, 4 MB of MIDI):
#   openttd-openmsx  music of a transport game, many tracks each
#   simutrans-data   longer game songs
#   pianobooster     short lesson pieces (some gzipped)
#   mma              accompaniment pattern files
#   freedink-data    game songs, among them one with a 186-byte text event and one that
#                    goes on in running status after a meta event
set -euo pipefail

packages=(openttd-openmsx simutrans-data pianobooster mma freedink-data)
dest=${1:-corpus}
stamp="$dest/.fetched"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" == "${packages[*]}" ]; then
  echo "fetch-corpus: $dest is complete ($(find "$dest" -type f ! -name .fetched | wc -l) files)"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 0755 "$work"   # apt's download user must be able to write here

download() {
  (cd "$work" && apt-get download -qq "$1" >/dev/null 2>>"$work/apt.log")
}

# The package lists may be missing or stale on a fresh machine: refresh them once, at the
# first package that cannot be had. A package missing from this release is skipped.
refreshed=no
fetched=0
for p in "${packages[@]}"; do
  if ! download "$p" && [ $refreshed = no ]; then
    echo "fetch-corpus: refreshing the package lists"
    $SUDO apt-get update -qq
    refreshed=yes
    download "$p" || true
  fi
  if ls "$work/${p}_"*.deb >/dev/null 2>&1; then
    fetched=$((fetched + 1))
  else
    echo "fetch-corpus: warning: could not download $p" >&2
  fi
done
if [ $fetched -eq 0 ]; then
  cat "$work/apt.log" >&2
  echo "fetch-corpus: could not download any of ${packages[*]}" >&2
  exit 1
fi

rm -rf "$dest"
mkdir -p "$dest"
for deb in "$work"/*.deb; do
  pkg=$(basename "$deb" | cut -d_ -f1)
  dpkg -x "$deb" "$work/x-$pkg"
  mkdir -p "$dest/$pkg"
  # Flat names: the package's own path with / turned into _, so no two files collide.
  while IFS= read -r -d '' f; do
    rel=${f#"$work/x-$pkg/"}
    name=$(echo "$rel" | sed 's|^usr/share/||; s|/|_|g; s|\.gz$||')
    case "$f" in
      *.gz) gzip -dc "$f" >"$dest/$pkg/$name" ;;
      *) cp "$f" "$dest/$pkg/$name" ;;
    esac
  done < <(find "$work/x-$pkg" -type f \( -iname '*.mid' -o -iname '*.mid.gz' -o -iname '*.midi' -o -iname '*.kar' \) -print0)
done
# Only a corpus of every package counts as complete; otherwise the next run tries again.
[ $fetched -eq ${#packages[@]} ] && echo "${packages[*]}" >"$stamp"
echo "fetch-corpus: $(find "$dest" -type f ! -name .fetched | wc -l) files, $(du -sh "$dest" | cut -f1) in $dest"
