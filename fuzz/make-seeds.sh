#!/usr/bin/env bash
# Writes the fuzzer's seed songs into fuzz/corpus: tiny files, each with something the
# reader, the editor or the writer must handle with care. The folder also keeps inputs the fuzzer
# found (tracks that begin on running status, which once read differently after other
# walks), so every run replays them.
set -euo pipefail
dir=$(cd "$(dirname "$0")" && pwd)/corpus
mkdir -p "$dir"

put_hex() { printf "$(tr -d ' \n' <<<"$2" | sed 's/\(..\)/\\x\1/g')" >"$dir/$1"; }
mtrk() { local h; h=$(tr -d ' \n' <<<"$1"); printf '4d54726b%08x%s' $((${#h} / 2)) "$h"; }
mthd() { printf '4d546864000000060%03x%04x%04x' "$1" "$2" "$3"; }

TEMPO=$(mtrk '00 FF 03 02 54 30  00 FF 51 03 07 A1 20  00 FF 58 04 04 02 18 08  00 FF 2F 00')
# A tempo track and a melody without controllers; note-offs under running status.
put_hex melody.mid "$(mthd 1 2 96)$TEMPO$(mtrk '00 FF 03 04 42 61 73 73  00 C0 21
  00 90 3C 40  60 80 3C 40  00 3E 40  00 90 40 50  60 40 00  00 FF 2F 00')"
# Two channels in one track, mixed volumes, two program changes, drums.
put_hex mixed.mid "$(mthd 1 2 96)$(mtrk '00 B1 07 50  00 C1 18  00 91 3C 40  10 B1 07 5A  00 C1 28
  00 93 40 40  30 81 3C 00  00 83 40 00  00 B1 0A 20  00 FF 2F 00')$(mtrk '00 B9 07 64  00 99 24 64  60 89 24 40  00 FF 2F 00')"
# Running status after a meta event, a long text event, system exclusive and an F7 escape.
put_hex events.mid "$(mthd 0 1 96)$(mtrk "00 90 3C 40  00 FF 01 02 41 42  60 3C 00
  00 FF 01 81 00 $(printf '61%.0s' $(seq 128))  00 F0 03 7E 7F F7  00 F7 02 01 02
  00 FF 03 03 48 69 21  00 FF 03 01 5A  00 E0 00 40  00 A0 3C 10  00 D0 20  00 FF 2F 00")"
# Damage: an undecodable event, spare bytes after the end, a chunk cut by the file's end.
put_hex damaged.mid "$(mthd 1 3 96)$(mtrk '00 90 3C 40  00 F1 00 00  00 FF 2F 00')$(mtrk '00 C1 05  00 FF 2F 00  00 00')4d54726b0000006400923c4060823c00"
# Format 0 with bytes after the last chunk.
put_hex tail.mid "$(mthd 0 1 480)$(mtrk '00 C0 00  00 90 3C 40  83 60 80 3C 00  00 FF 2F 00')DEADBEEF"
