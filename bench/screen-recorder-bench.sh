#!/usr/bin/env bash
# Records the whole screen of a private X server with moving content through
# the real program ("进入", F3, wait, F4) and reports:
#   CPU seconds of vidloom per recorded second (and per megapixel), pictures
#   written vs expected, audio vs video duration, time from F4 to a finished
#   file, peak resident memory.
#   [VIDLOOM_TEST_SCREEN=2560x1440x24] [VIDLOOM_BUILD=dir] \
#     bench/screen-recorder-bench.sh [SECONDS]   (default 60; 1920x1080; build/)
# It starts its own private X and sound servers.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${VIDLOOM_REQUIRE_SERVERS:-}" ]; then
  exec "$ROOT/scripts/with-test-servers.sh" "$0" "$@"
fi
SECONDS_TO_RECORD=${1:-60}
WORK=$(mktemp -d /tmp/vidloom-bench.XXXXXX)
trap 'kill $PLAYER $APP 2>/dev/null || true; rm -rf "$WORK"' EXIT
BUILD=${VIDLOOM_BUILD:-$ROOT/build}
SIZE=$(xdpyinfo | awk '/dimensions:/ {print $2}')
cp "$BUILD"/bin/{vidloom,default.skin,default.cfg,bg.png,shutter.wav} "$WORK/"
mkdir "$WORK/output"
pactl set-default-source "$VIDLOOM_TEST_SINK.monitor"

# Moving content over the whole screen (software rendering, as a video player).
SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0 \
  ffplay -v error -fs -an -f lavfi "testsrc2=size=$SIZE:rate=30,format=bgr0" >/dev/null 2>&1 &
PLAYER=$!
sleep 2

cd "$WORK"
./vidloom >stdout.log 2>&1 &
APP=$!
workmode=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorvex$' | head -n1)
xdotool mousemove --window "$workmode" 80 105 click 1
bar=$(timeout 20 xdotool search --sync --onlyvisible --name '^(桌面录像|Screen Recorder)$' | head -n1)
xdotool windowmove "$bar" 2000 0
sleep 1

cpu() { awk '{print $14 + $15}' "/proc/$APP/stat"; }
ticks=$(getconf CLK_TCK)
cpu0=$(cpu)
xdotool key F3
sleep "$SECONDS_TO_RECORD"
xdotool key F4
t0=$(date +%s%N)
until grep -q "packer: closed" vidloom.log.txt 2>/dev/null; do sleep 0.01; done
t1=$(date +%s%N)
cpu1=$(cpu)
rss=$(awk '/VmHWM/ {print $2}' "/proc/$APP/status")
kill -TERM "$APP"; wait "$APP" || true

file=$(ls output/*.mp4 | head -n1)
video=$(ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 "$file" | sort -g)
frames=$(echo "$video" | grep -c .)
first=$(echo "$video" | head -n1)
last=$(echo "$video" | tail -n1)
audio=$(ffprobe -v error -select_streams a -show_entries stream=duration -of csv=p=0 "$file")
awk -v c0="$cpu0" -v c1="$cpu1" -v hz="$ticks" -v n="$frames" -v a="$first" -v b="$last" \
    -v au="$audio" -v f4="$(( (t1 - t0) / 1000000 ))" -v rss="$rss" -v secs="$SECONDS_TO_RECORD" \
    -v size="$SIZE" 'BEGIN {
  dur = b - a + 0.04
  cpu = (c1 - c0) / hz
  split(size, wh, "x")
  printf "screen            %s\n", size
  printf "recorded          %.2f s (asked %d s)\n", dur, secs
  printf "CPU               %.2f s, %.3f CPU s per recorded s, %.3f per megapixel\n", cpu, cpu / dur,
         cpu / dur / (wh[1] * wh[2] / 1e6)
  printf "pictures          %d of %d expected (%.2f %%)\n", n, dur * 25 + 0.5, 100 * n / int(dur * 25 + 0.5)
  printf "audio - video     %.3f s (audio %.3f s)\n", au - dur, au
  printf "F4 to finished    %d ms\n", f4
  printf "peak RSS          %.1f MB\n", rss / 1024
}'
grep "packer: closed" vidloom.log.txt | sed 's/^.*\]  /packer log:       /'
