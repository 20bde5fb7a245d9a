#!/usr/bin/env bash
# Rendering to WAV: the render line, the file's header and length, a render from the middle,
# muted rows, and SoundFonts that cannot be used.
source "$(dirname "$0")/lib/common.bash"

SF2=/usr/share/sounds/sf2/TimGM6mb.sf2
if [ ! -r "$SF2" ]; then
  echo "$(basename "$0"): skipped: $SF2 is not installed"
  exit 0
fi

RENDER_LINE='^render [0-9]+\.[0-9]{3} s, peak (-[0-9]+\.[0-9]|-inf) dBFS, voices [0-9]+$'

# The render line's fields: seconds, peak, voices.
render_fields() {
  sed -nE 's/^render ([0-9.]+) s, peak ([-0-9.inf]+) dBFS, voices ([0-9]+)$/\1 \2 \3/p' <<<"$OUT"
}

# The 44-byte header of a 16-bit stereo 44,100 Hz file whose data is $2 bytes long.
wav_header_hex() {
  local data=$1
  printf '52494646%s57415645666d7420100000000100020044ac000010b102000400100064617461%s' \
    "$(le32 $((data + 36)))" "$(le32 "$data")"
}
le32() {
  printf '%02x%02x%02x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255))
}

# The demo: the record first, then the render line as its last line; the file holds what
# the line says, with a valid header.
mm "$DEMO" --render "$T/demo.wav" --soundfont "$SF2" --no-effects
expect_rc 0
expect_err ""
checks=$((checks + 1))
tail -n 1 <<<"$OUT" | grep -qE "$RENDER_LINE" || fail "$LAST: last line is not the render line: $(tail -n 1 <<<"$OUT")"
expect_line 'row 5 chunk 6 instrument 46 volume 76 balance 96'
read -r seconds peak voices <<<"$(render_fields)"
size=$(stat -c %s "$T/demo.wav")
data=$((size - 44))
expect_eq "demo header" "$(wav_header_hex "$data")" "$(head -c 44 "$T/demo.wav" | od -An -tx1 -v | tr -d ' \n')"
expect_eq "demo length" "$seconds" "$(awk -v d="$data" 'BEGIN { printf "%.3f", d / 4 / 44100 }')"
checks=$((checks + 1))
awk -v s="$seconds" -v p="$peak" -v v="$voices" 'BEGIN { exit !(s > 20 && s < 200 && p < 0 && p > -30 && v >= 4 && v <= 256) }' ||
  fail "demo render: $seconds s, peak $peak dBFS, voices $voices"

# The same song renders to the same bytes.
mm "$DEMO" --render "$T/again.wav" --soundfont "$SF2" --no-effects
expect_rc 0
checks=$((checks + 1))
cmp -s "$T/demo.wav" "$T/again.wav" || fail "two renders of the demo differ"

# From 10 s on: ten seconds shorter (the same tail), and not silent.
mm "$DEMO" --render "$T/late.wav" --soundfont "$SF2" --no-effects --start 10000
expect_rc 0
read -r lateSeconds latePeak _ <<<"$(render_fields)"
checks=$((checks + 1))
awk -v s="$seconds" -v l="$lateSeconds" 'BEGIN { d = s - 10 - l; exit !(d < 0.05 && d > -0.05) }' ||
  fail "render from 10 s: $lateSeconds s, the whole song $seconds s"
checks=$((checks + 1))
[ "$latePeak" != "-inf" ] || fail "the render from 10 s is silent"

# Every row switched off: nothing sounds.
mm "$DEMO" --mute 0 --mute 1 --mute 2 --mute 3 --mute 4 --mute 5 --render "$T/muted.wav" --soundfont "$SF2" --no-effects
expect_rc 0
read -r _ mutedPeak mutedVoices <<<"$(render_fields)"
expect_eq "all rows muted" "-inf 0" "$mutedPeak $mutedVoices"
# One row off: the audio differs from the whole song's.
mm "$DEMO" --mute 0 --render "$T/one.wav" --soundfont "$SF2" --no-effects
expect_rc 0
checks=$((checks + 1))
! cmp -s "$T/demo.wav" "$T/one.wav" || fail "muting the melody did not change the render"

# A file that is no SoundFont: the loader's message naming it, status 1, no WAV left.
printf 'not a soundfont at all' >"$T/bad.sf2"
mm "$DEMO" --render "$T/bad.wav" --soundfont "$T/bad.sf2"
expect_rc 1
expect_err_has "bad.sf2"
checks=$((checks + 1))
[ ! -e "$T/bad.wav" ] || fail "a failed render left $T/bad.wav"
mm "$DEMO" --render "$T/bad.wav" --soundfont "$T/missing.sf2"
expect_rc 1
expect_err_has "missing.sf2"

# An output that cannot be written.
mm "$DEMO" --render "$T/no/such/folder/x.wav" --soundfont "$SF2"
expect_rc 1
expect_err_has "cannot render"

# The render options need --render; --start takes milliseconds.
mm "$DEMO" --start 100
expect_rc 1
expect_err_has "only with --render"
mm "$DEMO" --render "$T/x.wav" --start 1.5
expect_rc 1
expect_err_has "bad value for --start"

finish
