#!/usr/bin/env bash
# Files that real programs write and a naive reader gets wrong, and damaged files.
source "$(dirname "$0")/lib/common.bash"

# Running status goes on after a meta event: the note after the text event is a note-on of
# velocity 0 on channel 0, and muting leaves it alone (it has no status byte of its own).
AFTER_META='00 90 3C 40  00 FF 01 02 41 42  60 3C 00  00 FF 2F 00'
put_hex "$T/meta.mid" "$(mthd 0 1 96)$(mtrk "$AFTER_META")"
mm "$T/meta.mid" --mute 0 --prepared "$T/p.mid"
expect_rc 0
expect_err ""
expect_line 'chunk 0 size 25 channel 0 program 240 volume 240 pan 240 listed yes name ""'
expect_eq "mute after a meta event" "$(mthd 0 1 96)$(mtrk \
  '00 B0 0A 40  00 B0 07 7F  00 80 3C 40  00 FF 01 02 41 42  60 3C 00  00 FF 2F 00')" "$(hex_of "$T/p.mid")"

# A 186-byte text event (length 81 3A), a 128-byte system exclusive and an F7 escape are
# skipped whole; the name after them is read.
text186=$(printf '61%.0s' $(seq 186))
sysex128=$(printf '01%.0s' $(seq 127))
LONG="00 FF 01 81 3A $text186  00 F0 81 00 ${sysex128}F7  00 F7 02 01 02
  00 FF 03 03 48 69 21  00 C2 05  00 92 3C 40  60 82 3C 40  00 FF 2F 00"
put_hex "$T/long.mid" "$(mthd 0 1 96)$(mtrk "$LONG")"
mm "$T/long.mid" --prepared "$T/p.mid"
expect_rc 0
expect_err ""
expect_line "chunk 0 size $((5 + 186 + 4 + 128 + 5 + 7 + 3 + 4 + 4 + 4 + 8)) channel 2 program 5 volume 240 pan 240 listed yes name \"Hi!\""
expect_eq "long events copied, note-off zeroed" "$(mthd 0 1 96)$(mtrk "00 B2 0A 40  00 B2 07 7F  ${LONG/60 82 3C 40/60 82 3C 00}")" \
  "$(hex_of "$T/p.mid")"

# A name holding line breaks stays on its line: they are shown as \n and \r.
put_hex "$T/lines.mid" "$(mthd 0 1 96)$(mtrk '00 FF 03 05 41 0A 42 0D 43  00 C0 05  00 FF 2F 00')"
mm "$T/lines.mid"
expect_rc 0
expect_line 'chunk 0 size 24 channel 0 program 5 volume 240 pan 240 listed yes name "A\nB\rC"'

# Bytes after the last declared chunk stay after the rebuilt chunks.
put_hex "$T/tail.mid" "$(mthd 0 1 96)$(mtrk '00 90 3C 40  60 80 3C 00  00 FF 2F 00')DEADBEEF"
mm "$T/tail.mid" --prepared "$T/p.mid"
expect_rc 0
expect_eq "tail kept" "$(mthd 0 1 96)$(mtrk '00 B0 0A 40  00 B0 07 7F  00 90 3C 40  60 80 3C 00  00 FF 2F 00')deadbeef" \
  "$(hex_of "$T/p.mid")"

# A chunk whose length runs past the end of the file is cut there.
put_hex "$T/cut.mid" "$(mthd 0 1 96)4d54726b00000064 00 90 3C 40  60 80 3C 00  00 FF 2F 00"
mm "$T/cut.mid" --prepared "$T/p.mid"
expect_rc 0
expect_line 'chunk 0 size 20 channel 0 program 240 volume 240 pan 240 listed yes name ""'
expect_eq "cut chunk" "$(mthd 0 1 96)$(mtrk '00 B0 0A 40  00 B0 07 7F  00 90 3C 40  60 80 3C 00  00 FF 2F 00')" \
  "$(hex_of "$T/p.mid")"

# An event cut short by the end of its chunk: reported, the file loads, and nothing is read
# or written past the chunk (the next chunk is intact).
put_hex "$T/short.mid" "$(mthd 1 2 96)$(mtrk '00 90 3C 40  60 80 3C')$(mtrk '00 C1 05  00 FF 2F 00')"
mm "$T/short.mid" --mute 0 --program 1=9 --prepared "$T/p.mid"
expect_err_has "Test: Ptr error"
expect_line 'chunk 1 size 15 channel 1 program 9 volume 240 pan 240 listed yes name ""'
hex=$(hex_of "$T/p.mid")
expect_eq "chunk after a cut event" "$(mtrk '00 B1 0A 40  00 B1 07 7F  00 C1 09  00 FF 2F 00')" "${hex: -46}"

# A declared chunk that is not there, or not a track chunk: rejected.
put_hex "$T/missing.mid" "$(mthd 1 2 96)$(mtrk '00 FF 2F 00')"
mm "$T/missing.mid"
expect_rc 2
expect_err "Attention: This format is not supported! (Try Play only)"
put_hex "$T/other.mid" "$(mthd 1 2 96)$(mtrk '00 FF 2F 00')4d5478780000000100"
mm "$T/other.mid"
expect_rc 2

# Header faults: too short, wrong length byte, format 3.
put_hex "$T/h1.mid" "4d546864000000"
put_hex "$T/h2.mid" "4d546864000000070001000100604d54726b0000000400ff2f00"
put_hex "$T/h3.mid" "$(mthd 3 1 96)$(mtrk '00 FF 2F 00')"
for f in h1 h2 h3; do
  mm "$T/$f.mid"
  expect_rc 2
  expect_out "format 0
tracks 0
division 0
listed 0"
done

# A header that declares no tracks is a song with no rows.
put_hex "$T/none.mid" "$(mthd 1 0 96)"
mm "$T/none.mid" --save "$T/s.mid"
expect_rc 0
expect_out "format 1
tracks 0
division 96
listed 0"
checks=$((checks + 1))
cmp -s "$T/none.mid" "$T/s.mid" || fail "a song without tracks did not save as it was"

finish
