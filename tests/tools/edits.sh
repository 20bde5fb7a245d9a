#!/usr/bin/env bash
# The prepared image and the settings, byte for byte, on small generated songs.
source "$(dirname "$0")/lib/common.bash"

TEMPO='00 FF 51 03 07 A1 20  00 FF 2F 00'
TEMPO_CHUNK=$(mtrk "$TEMPO")

# A tempo track and a melody on channel 0 with neither pan nor volume: the melody gains the
# default pan and volume events at its start, its note-offs lose their release velocity
# (also under running status), a note-on of velocity 0 stays, the tempo track is unchanged.
MELODY='00 90 3C 40  60 80 3C 40  00 3E 40  00 90 40 50  60 40 00  00 FF 2F 00'
put_hex "$T/melody.mid" "$(mthd 1 2 96)$TEMPO_CHUNK$(mtrk "$MELODY")"
mm "$T/melody.mid" --prepared "$T/p.mid"
expect_rc 0
expect_err ""
expect_out 'format 1
tracks 2
division 96
listed 1
chunk 0 size 11 channel 240 program 240 volume 240 pan 240 listed no name ""
chunk 1 size 30 channel 0 program 240 volume 240 pan 240 listed yes name ""
row 0 chunk 1 instrument 241 volume 127 balance 64'
PREPARED="$(mthd 1 2 96)$TEMPO_CHUNK$(mtrk '00 B0 0A 40  00 B0 07 7F
  00 90 3C 40  60 80 3C 00  00 3E 00  00 90 40 50  60 40 00  00 FF 2F 00')"
expect_eq "prepared melody" "$PREPARED" "$(hex_of "$T/p.mid")"

# Switching off swaps the status bytes that stand in the track (9n <-> 8n); notes on running
# status follow them. The inserted volume event takes a new volume.
mm "$T/melody.mid" --mute 0 --volume 0=100 --prepared "$T/p.mid"
expect_rc 0
expect_line 'row 0 chunk 1 instrument 241 volume 100 balance 64'
expect_eq "muted melody" "$(mthd 1 2 96)$TEMPO_CHUNK$(mtrk '00 B0 0A 40  00 B0 07 64
  00 80 3C 40  60 90 3C 00  00 3E 00  00 80 40 50  60 40 00  00 FF 2F 00')" "$(hex_of "$T/p.mid")"

# Two volume events of different values (mixed), two program changes, no pan: only a pan
# event is inserted; the row shows the first program; a setting rewrites every such event.
TWO='00 B1 07 50  00 C1 18  00 91 3C 40  10 B1 07 5A  00 C1 28  30 81 3C 00  00 FF 2F 00'
DRUMS='00 B9 07 64  00 99 24 64  60 89 24 40  00 FF 2F 00'
put_hex "$T/two.mid" "$(mthd 1 2 96)$(mtrk "$TWO")$(mtrk "$DRUMS")"
mm "$T/two.mid" --prepared "$T/p.mid"
expect_rc 0
expect_err ""
expect_out 'format 1
tracks 2
division 96
listed 2
chunk 0 size 30 channel 1 program 24 volume 255 pan 240 listed yes name ""
chunk 1 size 20 channel 9 program 240 volume 100 pan 240 listed yes name ""
row 0 chunk 0 instrument 24 volume 127 balance 64
row 1 chunk 1 instrument 242 volume 100 balance 64'
expect_eq "prepared mixed volumes and drums" "$(mthd 1 2 96)$(mtrk "00 B1 0A 40  $TWO")$(mtrk \
  '00 B9 0A 40  00 B9 07 64  00 99 24 64  60 89 24 00  00 FF 2F 00')" "$(hex_of "$T/p.mid")"

mm "$T/two.mid" --volume 0=100 --program 0=9 --pan 1=0 --program 1=3 --prepared "$T/p.mid"
expect_rc 0
expect_err ""
expect_line 'chunk 0 size 30 channel 1 program 9 volume 100 pan 240 listed yes name ""'
expect_line 'row 0 chunk 0 instrument 9 volume 100 balance 64'
expect_line 'row 1 chunk 1 instrument 242 volume 100 balance 0'
expect_eq "edited mixed volumes and drums" "$(mthd 1 2 96)$(mtrk \
  '00 B1 0A 40  00 B1 07 64  00 C1 09  00 91 3C 40  10 B1 07 64  00 C1 09  30 81 3C 00  00 FF 2F 00')$(mtrk \
  '00 B9 0A 00  00 B9 07 64  00 99 24 64  60 89 24 00  00 FF 2F 00')" "$(hex_of "$T/p.mid")"

# A track whose notes use two channels gets nothing inserted; a pan setting then finds no
# pan event, changes nothing and succeeds. A program setting reaches both channels.
MIXED='00 C0 01  00 C3 02  00 90 3C 40  00 93 40 40  60 80 3C 00  00 83 40 00  00 FF 2F 00'
put_hex "$T/mixed.mid" "$(mthd 0 1 96)$(mtrk "$MIXED")"
mm "$T/mixed.mid" --pan 0=5 --program 0=7 --prepared "$T/p.mid"
expect_rc 0
expect_err ""
expect_line 'chunk 0 size 26 channel 255 program 7 volume 240 pan 5 listed yes name ""'
expect_line 'row 0 chunk 0 instrument 255 volume 127 balance 5'
expect_eq "two-channel track" "$(mthd 0 1 96)$(mtrk "${MIXED//01  00 C3 02/07  00 C3 07}")" "$(hex_of "$T/p.mid")"

# Muting twice gives the prepared image back, on every track of the demo song.
mm "$DEMO" --prepared "$T/a.mid"
args=()
for r in 0 1 2 3 4 5; do args+=(--mute $r); done
mm "$DEMO" "${args[@]}" "${args[@]}" --prepared "$T/b.mid"
expect_rc 0
checks=$((checks + 1))
cmp -s "$T/a.mid" "$T/b.mid" || fail "muting every track twice changed the image"

finish
