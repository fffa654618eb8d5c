#!/usr/bin/env bash
# A PulseAudio server for the sound tests: a null sink as the output and a 440 Hz sine
# source as the input (Qt lists no monitor sources as inputs), in a folder of its own.
#
#   sound_server.sh start   starts it unless it runs already; prints its PULSE_SERVER
#   sound_server.sh stop    stops it, if "start" started it
#
# QM_PULSE_DIR names its folder (default /tmp/quillmere-pulse-UID); a test that stops
# and starts a server gives it a folder of its own.
#
# Every step is bounded in time; running "start" twice reuses the first server.
set -euo pipefail
dir=${QM_PULSE_DIR:-/tmp/quillmere-pulse-$(id -u)}
server="unix:$dir/native"

running() { PULSE_SERVER=$server timeout 5 pactl info >/dev/null 2>&1; }

case "${1:-}" in
  start)
    mkdir -p "$dir"
    chmod 700 "$dir"
    if ! running; then
      rm -f "$dir/native" "$dir/pid"
      # The socket comes last: a client that connects finds both devices there (a stream
      # that asks for a device the server lacks leaves Qt 6.4's client waiting for ever).
      PULSE_RUNTIME_PATH=$dir XDG_RUNTIME_DIR=$dir timeout 10 pulseaudio --daemonize=yes -n \
        --exit-idle-time=-1 --use-pid-file=yes --log-target="file:$dir/log" \
        --load="module-null-sink sink_name=quillmere_out" \
        --load="module-sine-source source_name=quillmere_in frequency=440" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" >/dev/null 2>&1 || true
      for _ in $(seq 50); do running && break; sleep 0.1; done
      running || { echo "sound_server.sh: PulseAudio did not start" >&2; tail -n 20 "$dir/log" >&2 || true; exit 1; }
      touch "$dir/started"
    fi
    PULSE_SERVER=$server timeout 5 pactl set-default-sink quillmere_out
    PULSE_SERVER=$server timeout 5 pactl set-default-source quillmere_in
    echo "$server"
    ;;
  stop)
    if [ -f "$dir/started" ]; then
      PULSE_SERVER=$server timeout 5 pactl exit >/dev/null 2>&1 || true
      # Gone when this returns, so that a "start" right after starts a new one.
      for _ in $(seq 50); do running || break; sleep 0.1; done
      rm -f "$dir/started"
    fi
    ;;
  *)
    echo "usage: sound_server.sh start|stop" >&2
    exit 2
    ;;
esac
