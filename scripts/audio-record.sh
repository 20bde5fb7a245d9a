#!/usr/bin/env bash
# The recorder of the audio tests, started and stopped by the Windows test driver (through
# Wine, which may report a host program finished before it has run: hence the marker files).
#   audio-record.sh start RUNTIME_DIR SINK OUT.raw   records the sink's monitor into OUT.raw
#                                                   (16-bit stereo, 44,100 Hz) in the
#                                                   background; its pid goes to OUT.raw.pid
#   audio-record.sh stop OUT.raw                     stops it gently (SIGINT, so the last
#                                                   20 ms reach the file), then writes
#                                                   OUT.raw.done
set -uo pipefail
case "${1:-}" in
start)
  dir=$2 sink=$3 out=$4
  rm -f "$out" "$out.pid" "$out.done"
  XDG_RUNTIME_DIR=$dir setsid parec --latency-msec=20 -d "$sink.monitor" --format=s16le --rate=44100 \
    --channels=2 --raw >"$out" 2>"$out.log" </dev/null &
  echo $! >"$out.pid"
  ;;
stop)
  out=$2
  pid=$(cat "$out.pid" 2>/dev/null || true)
  if [ -n "$pid" ]; then
    kill -INT "$pid" 2>/dev/null
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -9 "$pid" 2>/dev/null
  fi
  touch "$out.done"
  ;;
*)
  echo "usage: audio-record.sh start DIR SINK OUT | stop OUT" >&2
  exit 2
  ;;
esac
