#!/usr/bin/env bash
# Headless demo: records 5 s of the screen of a private X server, with the
# private sound server's test tone, by driving vidloom as a user would
# ("进入", F3, F4, "退出"), then prints where the MP4 is and what it holds.
# Run it through with-test-servers.sh (run.sh does that when there is no display).
set -euo pipefail
BIN=$(cd "${1:?usage: demo.sh BUILD_BIN_DIR}" && pwd)
cd "$BIN"
mkdir -p output
before=$(ls output)

# Something that moves on the screen while recording.
(command -v xeyes >/dev/null && xeyes -geometry 400x300+200+200 >/dev/null 2>&1) &
EYES=$!
trap 'kill $EYES 2>/dev/null || true' EXIT

# "默认麦克风": the output's monitor, which hears the test tone.
pactl set-default-source "$VIDLOOM_TEST_SINK.monitor" 2>/dev/null || true

./vidloom >/tmp/vidloom-demo.log 2>&1 &
APP=$!

workmode=$(xdotool search --sync --onlyvisible --name '^Quorvex$' | head -n1)
# "进入" sits at (30, 90) in the work-mode window, 100 x 30.
xdotool mousemove --window "$workmode" 80 105 click 1
xdotool search --sync --onlyvisible --name '^(桌面录像|Screen Recorder)$' >/dev/null
sleep 1
echo "demo: recording 5 s (F3) ..."
xdotool key F3
for i in 1 2 3 4 5; do
  xdotool mousemove $((300 + i * 120)) $((300 + i * 60))
  sleep 1
done
xdotool key F4
sleep 1

bar=$(xdotool search --sync --onlyvisible --name '^(桌面录像|Screen Recorder)$' | head -n1)
eval "$(xdotool getwindowgeometry --shell "$bar")"
# "退出" is the last button of the bar.
xdotool mousemove --window "$bar" $((WIDTH - 30)) $((HEIGHT / 2)) click 1
wait $APP || true

file=$(comm -13 <(echo "$before") <(ls output) | tail -n1)
if [ -z "$file" ]; then
  echo "demo: no recording was written; log:" >&2
  cat vidloom.log.txt >&2 || true
  exit 1
fi
echo "demo: wrote $BIN/output/$file"
ffprobe -hide_banner -v error -show_entries \
  stream=index,codec_name,width,height,r_frame_rate,sample_rate,channels,nb_frames:format=duration \
  -of compact "$BIN/output/$file"
