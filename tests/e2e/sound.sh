#!/usr/bin/env bash
# The player's live sound under Wine: with no MIDI device and a private PulseAudio server
# (a null sink that is recorded), the demo must be heard while it plays and silence must
# follow Stop within a few hundredths of a second (the recording is placed on the clock
# by its end, to about 0.1 s). Skipped (77) without PulseAudio.
#   tests/e2e/sound.sh E2E_TESTS_EXE SOURCE_ROOT
set -uo pipefail
exe=$1
root=$2
command -v pulseaudio >/dev/null && command -v parec >/dev/null || { echo "sound: no PulseAudio, skipped"; exit 77; }
export WINEPREFIX=${WINEPREFIX:-$("$root/scripts/wine-prefix.sh" null)}
token=sound$$
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" PLAYER_SOUND_CHECK=$token
work=$(mktemp -d)
# The player's CPU time (utime + stime, clock ticks) twice a second, found by the token in
# its environment.
(
  found=
  while :; do
    if [ -z "$found" ] || [ ! -e "$found/stat" ]; then
      found=
      for e in /proc/[0-9]*/environ; do
        d=${e%/environ}
        grep -qa "PLAYER_SOUND_CHECK=$token" "$e" 2>/dev/null && grep -qa 'player.exe' "$d/cmdline" 2>/dev/null && found=$d && break
      done
    fi
    [ -n "$found" ] && echo "$(date +%s.%N) $(awk '{print $14 + $15}' "$found/stat" 2>/dev/null)"
    sleep 0.5
  done
) >"$work/cpu.txt" 2>/dev/null &
sampler=$!
trap 'kill $sampler 2>/dev/null; rm -rf "$work"' EXIT
"$root/scripts/pulse-capture.sh" "$work/take.raw" \
  wine "$exe" --gtest_filter=PlayerTest.LiveSoundPlaysThroughTheWaveOutputAndStopsToSilence \
  </dev/null >"$work/out.txt" 2>"$work/err.txt"
rc=$?
tr -d '\r' <"$work/out.txt"
[ $rc -eq 77 ] && { echo "sound: no PulseAudio, skipped"; exit 77; }
[ $rc -eq 0 ] || { echo "sound: the driver failed ($rc)"; exit 1; }
recorder_end=$(sed -n 's/^recorder stopped at unix //p' "$work/err.txt")
stop=$(tr -d '\r' <"$work/out.txt" | sed -n 's/^stop at unix //p')
playing=$(tr -d '\r' <"$work/out.txt" | sed -n 's/^playing at unix //p')
kill $sampler 2>/dev/null
python3 - "$work/take.raw" "$recorder_end" "$stop" "$playing" "$work/cpu.txt" "$(getconf CLK_TCK)" <<'PY'
import array, math, sys
raw, end, stop, playing = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
samples = [tuple(map(float, l.split())) for l in open(sys.argv[5]) if len(l.split()) == 2]
inside = [s for s in samples if playing <= s[0] <= stop]
if len(inside) >= 2:
    (t0, c0), (t1, c1) = inside[0], inside[-1]
    print("player cpu: %.1f%% of one core over %.1f s of play" % (100 * (c1 - c0) / float(sys.argv[6]) / (t1 - t0), t1 - t0))
d = array.array('h'); d.frombytes(open(raw, 'rb').read())
w = 441
windows = len(d) // (2 * w)
rms = [math.sqrt(sum(x * x for x in d[2 * i * w:2 * (i + 1) * w]) / (2 * w)) for i in range(windows)]
start = end - windows * w / 44100.0          # the recording placed on the clock by its end
loud = [i for i, r in enumerate(rms) if r > 100]
if not loud:
    print("sound: the recording is silent"); sys.exit(1)
sound_end = start + (loud[-1] + 1) * w / 44100.0
first = start + loud[0] * w / 44100.0
after = [i for i in range(windows) if start + i * w / 44100.0 > stop + 0.25]
tail_peak = max((max(abs(x) for x in d[2 * i * w:2 * (i + 1) * w]) for i in after), default=0)
print("sound: heard for %.2f s, peak %d; sound ended %+.3f s from the stop; peak %d after it" %
      (sound_end - first, max(abs(x) for x in d), sound_end - stop, tail_peak))
ok = sound_end - first > 8 and sound_end - stop < 0.2 and tail_peak < 4
sys.exit(0 if ok else 1)
PY
