#!/usr/bin/env bash
# midimix's exit statuses and the song layer's messages on stderr, one line each.
source "$(dirname "$0")/lib/common.bash"

# Arguments it cannot use: exit 1 with the usage text and nothing on stdout.
for args in "" "--mute" "$DEMO --mute" "$DEMO --volume 0=128" "$DEMO --volume x=1" "$DEMO --pan 0" \
            "$DEMO --program 0=-1" "$DEMO --mute 1x" "$DEMO --loud 1" "$DEMO $DEMO" \
            "$DEMO --save a.mid --save b.mid" "--mute 0"; do
  mm $args
  expect_rc 1
  expect_out ""
  expect_err_has "usage: midimix FILE"
done
mm --help
expect_rc 0
expect_line "usage: midimix FILE [--mute ROW]... [--volume ROW=V]... [--pan ROW=V]..."

# A row the song does not have.
mm "$DEMO" --volume 6=10 --save "$T/never.mid"
expect_rc 1
expect_out ""
expect_err "midimix: row 6 does not exist: $DEMO lists 6 rows"
checks=$((checks + 1))
[ ! -e "$T/never.mid" ] || fail "a refused command wrote its output"

# A file that cannot be read: the file layer's own message, with no caption.
mm "$T/missing.mid"
expect_rc 1
expect_out ""
expect_err "Error: File open failed."

# Not a MIDI file: rejected, no rows, exit 2; the playback image is still written, unchanged.
printf 'RIFF, not a song\n' >"$T/text.mid"
mm "$T/text.mid" --prepared "$T/text.out"
expect_rc 2
expect_err "Attention: This format is not supported! (Try Play only)"
expect_out "format 0
tracks 0
division 0
listed 0"
checks=$((checks + 1))
cmp -s "$T/text.mid" "$T/text.out" || fail "a rejected file's playback image differs from the file"
mm "$T/text.mid" --mute 0 --save "$T/text.saved"
expect_rc 2
expect_err "Attention: This format is not supported! (Try Play only)
midimix: $T/text.mid lists no rows: settings and --save skipped"
checks=$((checks + 1))
[ ! -e "$T/text.saved" ] || fail "a rejected song was saved"

# An empty file is read (nothing to read) and rejected.
: >"$T/empty.mid"
mm "$T/empty.mid"
expect_rc 2
expect_err "Attention: This format is not supported! (Try Play only)"

# More tracks than the record holds: the reader's warning has the platform's caption.
put_hex "$T/many.mid" "$(mthd 1 101 96)"
mm "$T/many.mid"
expect_rc 2
expect_err "Error: Sorry: 101 tracks > 100 (Maximum in this version)
Attention: This format is not supported! (Try Play only)"
expect_out "format 1
tracks 0
division 96
listed 0"

# An undecodable event: the report's line break is shown as \n, the file still loads, and
# what was read before the bad event counts.
put_hex "$T/bad.mid" "$(mthd 0 1 96)$(mtrk '00 90 3C 40  00 F1 00 00  00 FF 2F 00')"
mm "$T/bad.mid"
expect_rc 0
expect_err 'Test: Track 0 Error Pos 001A\n00F10000
Test: Ptr error'
expect_line 'chunk 0 size 20 channel 0 program 240 volume 240 pan 240 listed yes name ""'

# Spare bytes after the end of a track: reported at load, and every setting of that track
# reports "Error setting track" and fails; other tracks edit fine.
put_hex "$T/spare.mid" "$(mthd 1 2 96)$(mtrk '00 C0 05 00 FF 2F 00 00 00')$(mtrk '00 C1 06 00 FF 2F 00')"
mm "$T/spare.mid"
expect_rc 0
expect_err "Test: Ptr error"
mm "$T/spare.mid" --program 1=7
expect_rc 0
expect_err "Test: Ptr error"
expect_line "row 1 chunk 1 instrument 7 volume 127 balance 64"
mm "$T/spare.mid" --program 0=7 --prepared "$T/spare.out"
expect_rc 1
expect_err "Test: Ptr error
Test: Error setting track"
checks=$((checks + 1))
[ -s "$T/spare.out" ] || fail "the playback image was not written after a failed setting"

# Writes that fail: the file layer's message, exit 1.
mm "$DEMO" --prepared "$T/no/such/dir/p.mid"
expect_rc 1
expect_err "Error: Tmp File create failed."
expect_line "listed 6"
mm "$DEMO" --save "$T/no/such/dir/s.mid"
expect_rc 1
expect_err "Error: Tmp File create failed."

# A failed save leaves an existing file as it was.
cp "$DEMO" "$T/keep.mid"
chmod 0555 "$T"
if [ "$(id -u)" -ne 0 ]; then
  mm "$DEMO" --name 0=Changed --save "$T/keep.mid"
  expect_rc 1
  checks=$((checks + 1))
  cmp -s "$DEMO" "$T/keep.mid" || fail "a failed save changed the existing file"
fi
chmod 0755 "$T"

finish
