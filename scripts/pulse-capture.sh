#!/usr/bin/env bash
# Runs a command with a private PulseAudio server whose only sink is a null sink, and
# records what the command plays (44,100 Hz, 16-bit stereo, raw) into OUT.
#   scripts/pulse-capture.sh OUT.raw command [args...]
# Exits with the command's code; 77 when PulseAudio is not installed (a test then skips).
# The server and the recorder are ended by their own process ids.
set -uo pipefail
out=$1
shift
command -v pulseaudio >/dev/null && command -v parec >/dev/null || exit 77

export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
pulseaudio --daemonize=yes -n --exit-idle-time=-1 --disallow-exit \
  --load="module-null-sink sink_name=capture" --load=module-native-protocol-unix \
  --log-target=file:"$XDG_RUNTIME_DIR/pa.log" 2>/dev/null
for _ in $(seq 50); do [ -f "$XDG_RUNTIME_DIR/pulse/pid" ] && pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pa_pid=$(cat "$XDG_RUNTIME_DIR/pulse/pid" 2>/dev/null || true)
pactl set-default-sink capture >/dev/null 2>&1
parec --latency-msec=20 -d capture.monitor --format=s16le --rate=44100 --channels=2 >"$out" &
rec_pid=$!
sleep 1   # the recorder takes about a second to connect

"$@"
rc=$?

sleep 0.3
echo "recorder stopped at unix $(date +%s.%N)" >&2
kill -INT "$rec_pid" 2>/dev/null
wait "$rec_pid" 2>/dev/null
[ -n "$pa_pid" ] && kill "$pa_pid" 2>/dev/null
for _ in $(seq 30); do [ -n "$pa_pid" ] && kill -0 "$pa_pid" 2>/dev/null || break; sleep 0.1; done
rm -rf "$XDG_RUNTIME_DIR"
exit $rc
