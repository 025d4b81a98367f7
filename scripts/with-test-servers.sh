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
  [ -n "$PULSE_PID" ] && kill "$PULSE_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  [ -n "$PULSE_PID" ] && wait "$PULSE_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && wait "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- X server: Xvfb picks a free display number and writes it to a pipe.
# -noreset: a server that resets when its last client leaves refuses the
# next test's connection for a moment.
exec {DFD}<> <(:)
Xvfb -displayfd "$DFD" -screen 0 "${VIDLOOM_TEST_SCREEN:-1920x1080x24}" -nolisten tcp -noreset \
  +extension MIT-SHM +extension XFIXES +extension XTEST -ac >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
DISPLAY_NUM=""
for _ in $(seq 1 100); do
  if read -r -t 0.1 -u "$DFD" DISPLAY_NUM 2>/dev/null && [ -n "$DISPLAY_NUM" ]; then break; fi
  kill -0 "$XVFB_PID" 2>/dev/null || { cat "$WORK/xvfb.log" >&2; echo "Xvfb failed to start" >&2; exit 1; }
done
exec {DFD}>&-
[ -n "$DISPLAY_NUM" ] || { echo "Xvfb gave no display number" >&2; exit 1; }
export DISPLAY=":$DISPLAY_NUM"

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
pactl set-default-source "$VIDLOOM_TEST_SINE_SOURCE"

export VIDLOOM_REQUIRE_SERVERS=1
set +e
"$@"
status=$?
set -e
exit $status
