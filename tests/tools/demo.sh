#!/usr/bin/env bash
# midimix on the bundled demo song: the record as loaded, and edits and saves that round-trip.
source "$(dirname "$0")/lib/common.bash"

DEMO_RECORD='format 1
tracks 7
division 480
listed 6
chunk 0 size 120 channel 240 program 240 volume 240 pan 240 listed no name "Morning Walk"
chunk 1 size 566 channel 0 program 73 volume 100 pan 54 listed yes name "Melody"
chunk 2 size 898 channel 1 program 0 volume 88 pan 76 listed yes name "Piano"
chunk 3 size 707 channel 2 program 33 volume 240 pan 240 listed yes name "Bass"
chunk 4 size 338 channel 255 program 48 volume 255 pan 255 listed yes name "Strings"
chunk 5 size 1594 channel 9 program 0 volume 100 pan 64 listed yes name "Drums"
chunk 6 size 529 channel 5 program 46 volume 76 pan 96 listed yes name ""
row 0 chunk 1 instrument 73 volume 100 balance 54
row 1 chunk 2 instrument 0 volume 88 balance 76
row 2 chunk 3 instrument 33 volume 127 balance 64
row 3 chunk 4 instrument 255 volume 127 balance 64
row 4 chunk 5 instrument 242 volume 100 balance 64
row 5 chunk 6 instrument 46 volume 76 balance 96
channel 3.4 chunk 4 instrument 48 volume 64 balance 40
channel 3.5 chunk 4 instrument 42 volume 72 balance 88'
DEMO_BYTES=4814

# The committed song is what tools/mkdemo composes (the native build has it beside midimix).
mkdemo="$(dirname "$MIDIMIX")/mkdemo"
if [ -x "$mkdemo" ]; then
  "$mkdemo" "$T/demo.mid" >/dev/null
  checks=$((checks + 1))
  cmp -s "$DEMO" "$T/demo.mid" || fail "res/demo.mid differs from what tools/mkdemo writes"
fi
expect_eq "demo size" "$DEMO_BYTES" "$(stat -c %s "$DEMO")"

# Loading: the tempo track is not listed, the bass (no controllers) grows by the two default
# events, the strings on two channels are mixed, the drums show as drums, the last track has
# no name.
mm "$DEMO"
expect_rc 0
expect_out "$DEMO_RECORD"
expect_err ""

# The prepared image is the file plus the bass's 8 inserted bytes; loading it again gives the
# same rows, and the bass now holds real pan and volume events.
mm "$DEMO" --prepared "$T/prepared.mid"
expect_rc 0
expect_eq "prepared size" $((DEMO_BYTES + 8)) "$(stat -c %s "$T/prepared.mid")"
mm "$T/prepared.mid"
expect_rc 0
expect_err ""
expect_eq "rows of the prepared image" "$(rows_of "$DEMO_RECORD")" "$(rows_of "$OUT")"
expect_line 'chunk 3 size 707 channel 2 program 33 volume 127 pan 64 listed yes name "Bass"'

# Muting swaps note status bytes 8n/9n and nothing else; muting twice restores the image.
mm "$DEMO" --mute 0 --prepared "$T/muted.mid"
expect_rc 0
expect_out "$DEMO_RECORD"
diffs=$(cmp -l "$T/prepared.mid" "$T/muted.mid" | awk '{print $2, $3}' | sort | uniq -c)
expect_eq "bytes a mute changes" "$(printf '     60 200 220\n     60 220 200')" "$diffs"
mm "$DEMO" --mute 3 --mute 0 --mute 3 --mute 0 --prepared "$T/unmuted.mid"
expect_rc 0
checks=$((checks + 1))
cmp -s "$T/prepared.mid" "$T/unmuted.mid" || fail "muting twice did not restore the image"

# The piano writes its note-offs as note-ons of velocity 0 under running status: a mute
# changes only the status bytes that stand in the file (one per run of notes).
mm "$DEMO" --mute 1 --prepared "$T/piano.mid"
changed=$(cmp -l "$T/prepared.mid" "$T/piano.mid" | awk '{print $2, $3}' | sort -u)
expect_eq "piano mute" "221 201" "$changed"

# Volume, balance and instrument go into the record and the image; a saved song loads back
# with them.
mm "$DEMO" --volume 0=100 --pan 1=10 --program 2=40 --volume 3=90 --pan 3=20 --program 4=5 --save "$T/edited.mid"
expect_rc 0
expect_err ""
expect_line 'row 0 chunk 1 instrument 73 volume 100 balance 54'
expect_line 'row 1 chunk 2 instrument 0 volume 88 balance 10'
expect_line 'row 2 chunk 3 instrument 40 volume 127 balance 64'
expect_line 'row 3 chunk 4 instrument 255 volume 90 balance 20'
expect_line 'row 4 chunk 5 instrument 242 volume 100 balance 64'
mm "$T/edited.mid"
expect_rc 0
expect_err ""
expect_line 'chunk 1 size 566 channel 0 program 73 volume 100 pan 54 listed yes name "Melody"'
expect_line 'chunk 2 size 898 channel 1 program 0 volume 88 pan 10 listed yes name "Piano"'
expect_line 'chunk 3 size 707 channel 2 program 40 volume 127 pan 64 listed yes name "Bass"'
# Both channels of the strings got the new volume and pan: no longer mixed.
expect_line 'chunk 4 size 338 channel 255 program 48 volume 90 pan 20 listed yes name "Strings"'
expect_line 'chunk 5 size 1594 channel 9 program 5 volume 100 pan 64 listed yes name "Drums"'
expect_line 'row 3 chunk 4 instrument 255 volume 90 balance 20'

# Saving without edits: every named track is copied as it is, the unnamed one gains an empty
# name event (4 bytes); saving twice gives the same file, and it loads with the same rows.
mm "$DEMO" --save "$T/saved1.mid"
expect_rc 0
mm "$DEMO" --save "$T/saved2.mid"
expect_eq "saved size" $((DEMO_BYTES + 8 + 4)) "$(stat -c %s "$T/saved1.mid")"
checks=$((checks + 1))
cmp -s "$T/saved1.mid" "$T/saved2.mid" || fail "two saves without edits differ"
mm "$T/saved1.mid"
expect_rc 0
expect_eq "rows of the saved song" "$(rows_of "$DEMO_RECORD")" "$(rows_of "$OUT")"
expect_line 'chunk 6 size 533 channel 5 program 46 volume 76 pan 96 listed yes name ""'
# What was saved before the first chunk's end is the prepared image's: the header and the
# tempo track unchanged.
expect_eq "header and tempo track" "$(head -c 142 "$T/prepared.mid" | od -An -tx1 -v)" \
  "$(head -c 142 "$T/saved1.mid" | od -An -tx1 -v)"

# Names: given rows get the new text, the others keep theirs, the tempo track keeps its own.
mm "$DEMO" --name 5=Harp --name "0=Lead Flute" --name 4= --save "$T/named.mid"
expect_rc 0
expect_out "$DEMO_RECORD"
mm "$T/named.mid"
expect_rc 0
expect_line 'chunk 0 size 120 channel 240 program 240 volume 240 pan 240 listed no name "Morning Walk"'
expect_line 'chunk 1 size 570 channel 0 program 73 volume 100 pan 54 listed yes name "Lead Flute"'
expect_line 'chunk 5 size 1589 channel 9 program 0 volume 100 pan 64 listed yes name ""'
expect_line 'chunk 6 size 537 channel 5 program 46 volume 76 pan 96 listed yes name "Harp"'

# A name longer than a name box holds is cut to 255 characters.
long=$(printf 'n%.0s' $(seq 300))
mm "$DEMO" --name "2=$long" --save "$T/long.mid"
expect_rc 0
mm "$T/long.mid"
expect_line "chunk 3 size $((707 - 4 + 255 + 1)) channel 2 program 33 volume 127 pan 64 listed yes name \"$(printf 'n%.0s' $(seq 255))\""

finish
