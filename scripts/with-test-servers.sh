#!/usr/bin/env bash
# Runs a command with a private X server and a private PulseAudio server, and
# stops both afterwards, also when the command fails or is interrupted.
#
#   scripts/with-test-servers.sh COMMAND [ARGS...]
#
# Exports to the command:
#   DISPLAY                  the private Xvfb (1920x1080x24, a free display number)
#   PULSE_SERVER             the private PulseAudio socket
#   PULSE_RUNTIME_PATH       its runtime folder
#   VIDLOOM_TEST_SINK        null sink name     (its monitor is "<sink>.monitor")
#   VIDLOOM_TEST_SINE_SOURCE 440 Hz sine source name (the default source)
#   VIDLOOM_REQUIRE_SERVERS=1  tests that need the servers fail instead of skipping
# Screen size: VIDLOOM_TEST_SCREEN (default 1920x1080x24).
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi

WORK=$(mktemp -d /tmp/vidloom-servers.XXXXXX)
XVFB_PID=""
PULSE_PID=""

cleanup() {
  [ -n "${KEEPER_PID:-}" ] && kill "$KEEPER_PID" 2>/dev/null || true
  [ -n "$PULSE_PID" ] && kill "$PULSE_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  [ -n "$PULSE_PID" ] && wait "$PULSE_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && wait "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- X server: Xvfb picks a free display number and writes it, with a line
# feed, to a file we hand it as a descriptor.
# -noreset: a server that resets when its last client leaves refuses the
# next test's connection for a moment.
exec {DFD}>"$WORK/display"
Xvfb -displayfd "$DFD" -screen 0 "${VIDLOOM_TEST_SCREEN:-1920x1080x24}" -nolisten tcp -noreset \
  +extension MIT-SHM +extension XFIXES +extension XTEST -ac >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
exec {DFD}>&-
DISPLAY_NUM=""
for _ in $(seq 1 600); do
  if grep -q . "$WORK/display" 2>/dev/null && [ "$(tail -c1 "$WORK/display" | od -An -c | tr -d ' ')" = '\n' ]; then
    DISPLAY_NUM=$(head -n1 "$WORK/display")
    break
  fi
  kill -0 "$XVFB_PID" 2>/dev/null || { cat "$WORK/xvfb.log" >&2; echo "Xvfb failed to start" >&2; exit 1; }
  sleep 0.05
done
[ -n "$DISPLAY_NUM" ] || { cat "$WORK/xvfb.log" >&2; echo "Xvfb gave no display number" >&2; exit 1; }
export DISPLAY=":$DISPLAY_NUM"
# an X11 session, even when started from a Wayland one
unset WAYLAND_DISPLAY XDG_SESSION_TYPE

# --- PulseAudio: null sink with a 440 Hz tone played into it, plus a sine source.
export PULSE_RUNTIME_PATH="$WORK/pulse"
mkdir -p "$PULSE_RUNTIME_PATH"
export VIDLOOM_TEST_SINK=vidloom_test_sink
export VIDLOOM_TEST_SINE_SOURCE=vidloom_test_sine
HOME="$WORK" pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  --disallow-module-loading=0 --log-target=stderr --log-level=error \
  "--load=module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native auth-anonymous=1" \
  "--load=module-null-sink sink_name=$VIDLOOM_TEST_SINK sink_properties=device.description=Test_Output" \
  "--load=module-sine sink=$VIDLOOM_TEST_SINK frequency=440" \
  "--load=module-sine-source source_name=$VIDLOOM_TEST_SINE_SOURCE rate=11025 frequency=440" \
  >"$WORK/pulse.log" 2>&1 &
PULSE_PID=$!
export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
for _ in $(seq 1 100); do
  pactl info >/dev/null 2>&1 && break
  kill -0 "$PULSE_PID" 2>/dev/null || { cat "$WORK/pulse.log" >&2; echo "pulseaudio failed to start" >&2; exit 1; }
  sleep 0.1
done
pactl info >/dev/null 2>&1 || { cat "$WORK/pulse.log" >&2; echo "pulseaudio did not answer" >&2; exit 1; }
pactl set-default-sink "$VIDLOOM_TEST_SINK"
# Keep the null sink running at low latency, as a desktop's output is: an
# idle null sink sleeps in 2 s blocks, and a new reader of its monitor would
# get its first sound only after that.
parec --latency-msec=20 -d "$VIDLOOM_TEST_SINK.monitor" --raw >/dev/null 2>&1 &
KEEPER_PID=$!
# The sink switches to short blocks only once its current long one is done:
# wait until sound flows at the short latency.
timeout 5 parec --latency-msec=20 -d "$VIDLOOM_TEST_SINK.monitor" --raw 2>/dev/null | head -c 4 >/dev/null || true
pactl set-default-source "$VIDLOOM_TEST_SINE_SOURCE"

export VIDLOOM_REQUIRE_SERVERS=1
set +e
"$@"
status=$?
set -e
exit $status
