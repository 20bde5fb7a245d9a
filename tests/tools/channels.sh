#!/usr/bin/env bash
# Channel rows: a track on several channels, set channel by channel, saved and read back.
source "$(dirname "$0")/lib/common.bash"

# Format 0, one track on channels 1 and 3 (as users count them); channel 1 has a volume and a
# program change, channel 3 neither.
TRACK='00 B0 07 40  00 C0 05  00 90 3C 40  00 92 43 40  60 80 3C 00  00 82 43 00  00 FF 2F 00'
put_hex "$T/two.mid" "$(mthd 0 1 96)$(mtrk "$TRACK")"
mm "$T/two.mid"
expect_rc 0
expect_err ""
expect_line 'row 0 chunk 0 instrument 255 volume 64 balance 64'
expect_line 'channel 0.1 chunk 0 instrument 5 volume 64 balance 64'
expect_line 'channel 0.3 chunk 0 instrument 0 volume 127 balance 64'

# Channel 1 switched off swaps its status bytes alone; channel 3 gains a volume and a program
# event at the track's start (the later one set goes first), and the name event the save
# puts in stands before them.
mm "$T/two.mid" --volume 0.3=80 --mute 0.1 --program 0.3=24 --save "$T/s.mid"
expect_rc 0
expect_err ""
expect_line 'channel 0.3 chunk 0 instrument 24 volume 80 balance 64'
expect_eq "saved channel edits" "$(mthd 0 1 96)$(mtrk '00 FF 03 00  00 C2 18  00 B2 07 50
  00 B0 07 40  00 C0 05  00 80 3C 40  00 92 43 40  60 90 3C 00  00 82 43 00  00 FF 2F 00')" "$(hex_of "$T/s.mid")"

mm "$T/s.mid"
expect_rc 0
expect_line 'channel 0.1 chunk 0 instrument 5 volume 64 balance 64'
expect_line 'channel 0.3 chunk 0 instrument 24 volume 80 balance 64'

# A track switched off silences its channels; its channel rows keep their own state, so
# switching the track and a channel off leaves that channel silent, and switching the
# track back on brings back only the other channel.
mm "$T/two.mid" --mute 0 --mute 0.3 --prepared "$T/p.mid"
expect_rc 0
expect_eq "track and channel off" "$(mthd 0 1 96)$(mtrk '00 B0 07 40  00 C0 05  00 80 3C 40  00 82 43 40
  60 90 3C 00  00 92 43 00  00 FF 2F 00')" "$(hex_of "$T/p.mid")"
mm "$T/two.mid" --mute 0 --mute 0.3 --mute 0 --prepared "$T/p.mid"
expect_eq "channel off" "$(mthd 0 1 96)$(mtrk '00 B0 07 40  00 C0 05  00 90 3C 40  00 82 43 40
  60 80 3C 00  00 92 43 00  00 FF 2F 00')" "$(hex_of "$T/p.mid")"

# Rows without such a channel, channels outside 1 to 16, and names of channel rows are refused.
mm "$T/two.mid" --volume 0.2=5
expect_rc 1
expect_err_has "no channel row 2"
for bad in "--mute 0.0" "--mute 0.17" "--name 0.1=x"; do
  mm "$T/two.mid" $bad
  expect_rc 1
done

finish
