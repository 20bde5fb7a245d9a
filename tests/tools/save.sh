#!/usr/bin/env bash
# Saving: the name events the writer puts in, and what it leaves alone.
source "$(dirname "$0")/lib/common.bash"

REST='00 B0 0A 40  00 B0 07 7F  00 90 3C 64  60 80 3C 00  00 FF 2F 00'
NAMED="00 FF 03 04 42 61 73 73  $REST"                   # "Bass", 28 bytes
TEMPO=$(mtrk '00 FF 03 05 54 65 6D 70 6F  00 FF 51 03 07 A1 20  00 FF 2F 00')
LEAD_BASS="$(mthd 1 2 96)$TEMPO$(mtrk "00 FF 03 09 4C 65 61 64 20 42 61 73 73  $REST")"

# A name event is replaced where it stands: 28 + 9 - 4 = 33 bytes (length field 0x21).
# The tempo track, not listed, keeps its own name.
put_hex "$T/named.mid" "$(mthd 1 2 96)$TEMPO$(mtrk "$NAMED")"
mm "$T/named.mid" --name "0=Lead Bass" --save "$T/s.mid"
expect_rc 0
expect_err ""
expect_eq "renamed track" "$LEAD_BASS" "$(hex_of "$T/s.mid")"
grep -q '4d54726b00000021' <<<"$(hex_of "$T/s.mid")" || fail "chunk length 0x21 missing"

# A track without a name event gains one at the start of its data: 20 + 9 + 4 = 33.
put_hex "$T/unnamed.mid" "$(mthd 1 2 96)$TEMPO$(mtrk "$REST")"
mm "$T/unnamed.mid" --name "0=Lead Bass" --save "$T/s.mid"
expect_rc 0
expect_eq "named track" "$LEAD_BASS" "$(hex_of "$T/s.mid")"

# Saved without a new name, a song whose listed tracks each have one name is written as it
# was loaded.
mm "$T/named.mid" --save "$T/s.mid"
expect_rc 0
checks=$((checks + 1))
cmp -s "$T/named.mid" "$T/s.mid" || fail "a save without edits changed the song"

# A name event in the middle keeps its place and delta time; only the first of two names
# is replaced, so the record still shows the later one after loading the saved song.
MIDDLE='00 90 3C 64  60 80 3C 00  30 FF 03 01 41  00 FF 03 01 42  00 FF 2F 00'
put_hex "$T/middle.mid" "$(mthd 0 1 96)$(mtrk "00 B0 0A 40  00 B0 07 7F  $MIDDLE")"
mm "$T/middle.mid" --name 0=Xy --save "$T/s.mid"
expect_rc 0
expect_line 'chunk 0 size 30 channel 0 program 240 volume 127 pan 64 listed yes name "B"'
expect_eq "middle name" "$(mthd 0 1 96)$(mtrk '00 B0 0A 40  00 B0 07 7F
  00 90 3C 64  60 80 3C 00  30 FF 03 02 58 79  00 FF 03 01 42  00 FF 2F 00')" "$(hex_of "$T/s.mid")"
mm "$T/s.mid"
expect_line 'chunk 0 size 31 channel 0 program 240 volume 127 pan 64 listed yes name "B"'

# Names of 128 characters or more: the length is a variable-length quantity (200 = 81 48),
# and the saved song reads back with the whole name.
name200=$(printf 'x%.0s' $(seq 200))
mm "$T/named.mid" --name "0=$name200" --save "$T/s.mid"
expect_rc 0
hex=$(hex_of "$T/s.mid")
expect_eq "long name event" "00ff038148$(printf '78%.0s' $(seq 200))" "${hex:$((2 * (14 + 8 + 20 + 8))):410}"
expect_eq "long name chunk length" "$(printf %08x $((28 - 4 + 200 + 1)))" "${hex:$((2 * (14 + 8 + 20 + 4))):8}"
mm "$T/s.mid"
expect_rc 0
expect_err ""
expect_line "chunk 1 size 225 channel 0 program 240 volume 127 pan 64 listed yes name \"$name200\""

# At the edge of the variable-length quantity: 127 characters take one length byte, 128 two.
for n in 127 128; do
  mm "$T/named.mid" --name "0=$(printf 'y%.0s' $(seq $n))" --save "$T/s$n.mid"
  expect_rc 0
done
hex=$(hex_of "$T/s127.mid")
expect_eq "127-character name" "00ff037f79" "${hex:$((2 * (14 + 8 + 20 + 8))):10}"
hex=$(hex_of "$T/s128.mid")
expect_eq "128-character name" "00ff03810079" "${hex:$((2 * (14 + 8 + 20 + 8))):12}"
expect_eq "128-character name file size" $(( $(stat -c %s "$T/s127.mid") + 2 )) "$(stat -c %s "$T/s128.mid")"

# Edits and names together: a save holds the settings, and loading it shows them.
mm "$T/named.mid" --mute 0 --volume 0=1 --pan 0=2 --program 0=3 --name 0=Z --save "$T/s.mid"
expect_rc 0
expect_eq "edited and renamed" "$(mthd 1 2 96)$TEMPO$(mtrk \
  '00 FF 03 01 5A  00 B0 0A 02  00 B0 07 01  00 80 3C 64  60 90 3C 00  00 FF 2F 00')" \
  "$(hex_of "$T/s.mid")"

# Saving replaces an existing file whole.
head -c 5000 /dev/zero >"$T/old.mid"
mm "$T/named.mid" --save "$T/old.mid"
expect_rc 0
checks=$((checks + 1))
cmp -s "$T/named.mid" "$T/old.mid" || fail "saving over a longer file left its tail"

finish
