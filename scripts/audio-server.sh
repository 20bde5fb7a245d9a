#!/usr/bin/env bash
# A private PulseAudio server with one null sink ("capture"), so that Windows programs under
# Wine have a wave output paced in real time and tests can record exactly what they play.
#   eval "$(scripts/audio-server.sh start)"   prints the variables that lead Wine and the
#                                            recorder to the new server (nothing when
#                                            PulseAudio is not installed: the audio tests
#                                            then skip, saying why)
#   scripts/audio-server.sh stop             ends the server started above, by its pid
set -uo pipefail
case "${1:-}" in
start)
  if ! command -v pulseaudio >/dev/null 2>&1 || ! command -v parec >/dev/null 2>&1; then
    echo "audio-server: pulseaudio or parec is not installed; the audio tests will be skipped" >&2
    exit 0
  fi
  dir=$(mktemp -d /tmp/zulin-audio.XXXXXX)
  chmod 700 "$dir"
  # Without memfd: with it, the server kept failing to pass Wine's blocks by reference
  # ("non-registered memfd ID", falling back to copying), and the player's stream ran dry
  # for 5-45 ms a few times a minute, gaps that were the server's and not the player's.
  if ! XDG_RUNTIME_DIR=$dir pulseaudio --daemonize=yes -n --exit-idle-time=-1 --disallow-exit --enable-memfd=no \
      --load="module-null-sink sink_name=capture rate=44100 channels=2" \
      --load=module-native-protocol-unix --log-target=file:"$dir/pa.log" >/dev/null 2>&1; then
    echo "audio-server: pulseaudio did not start (see $dir/pa.log); the audio tests will be skipped" >&2
    exit 0
  fi
  for _ in $(seq 50); do
    XDG_RUNTIME_DIR=$dir pactl set-default-sink capture >/dev/null 2>&1 && break
    sleep 0.1
  done
  printf 'export XDG_RUNTIME_DIR=%q PLAYER_AUDIO_SINK=capture\n' "$dir"
  ;;
stop)
  dir=${XDG_RUNTIME_DIR:-}
  [ -n "$dir" ] && [ -f "$dir/pulse/pid" ] || exit 0
  case "$dir" in /tmp/zulin-audio.*) ;; *) exit 0 ;; esac
  pid=$(cat "$dir/pulse/pid")
  kill "$pid" 2>/dev/null
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
  rm -rf "$dir"
  ;;
*)
  echo "usage: audio-server.sh start|stop" >&2
  exit 2
  ;;
esac
