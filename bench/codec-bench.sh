#!/usr/bin/env bash
# H.264 next to MPEG-4 Part 2 on the anchor bench: two copies of vidloom, each
# with a settings file choosing its codec, recorded in one run with the peer.
#   bench/codec-bench.sh [anchor-bench options]   e.g. -d 20 -n 2 -s "moving static"
#   VIDLOOM_FPS=60   both copies at 60 fps (the bench still expects 25 a second)
#   POINTER_ON_DESKTOP=1  leave the pointer where the window was clicked
#   ANCHOR_BENCH=dir the anchor bench (default: ../shared/bench beside the project)
# A fourth recorder, "ceiling", grabs the screen into lossless yuv420p: the
# most PSNR any 4:2:0 recording can reach against the bench's references.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
ANCHOR=${ANCHOR_BENCH:-$ROOT/../shared/bench}
BUILD=${VIDLOOM_BUILD:-$ROOT/build}
WORK=$(mktemp -d /tmp/vidloom-codec-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# The bench finds recorders beside itself: a copy gets two more.
cp -r "$ANCHOR" "$WORK/anchor"
for codec in mpeg4 h264; do
  mkdir -p "$WORK/$codec/output"
  cp "$BUILD"/bin/{vidloom,default.skin,default.cfg,bg.png,shutter.wav} "$WORK/$codec/"
  printf 'video.codec=%s\nvideo.fps=%s\n' "$codec" "${VIDLOOM_FPS:-25}" >>"$WORK/$codec/default.cfg"
  printf 'VIDLOOM_BIN=%q\nVIDLOOM_OUTDIR=%q\n. "$BENCH_DIR/recorders/vidloom.sh"\n' \
    "$WORK/$codec/vidloom" "$WORK/$codec/output" >"$WORK/anchor/recorders/vidloom-$codec.sh"
  # Clicking "进入" leaves the pointer on the desktop, where the recording
  # draws it: a cross in the still picture, worth some 2 dB of its PSNR
  # whatever the codec. The bench keeps it in the corner for the others.
  [ -n "${POINTER_ON_DESKTOP:-}" ] || cat >>"$WORK/anchor/recorders/vidloom-$codec.sh" <<'REC'
eval "bench_key_focused() $(declare -f bench_key | tail -n +2)"
bench_key() { xdotool mousemove $((WIDTH - 1)) $((HEIGHT - 1)); bench_key_focused "$@"; }
REC
done
cat >"$WORK/anchor/recorders/ceiling.sh" <<'REC'
REC_SELF_TIMED=1
rec_cmd() {
	echo "exec ffmpeg -nostdin -hide_banner -thread_queue_size 512 -f x11grab -framerate $FPS \
-video_size ${WIDTH}x${HEIGHT} -i $DISPLAY -thread_queue_size 512 -f pulse -i $AUDIO_SOURCE \
-c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p -g $GOP -bf 0 \
-c:a aac -ar $ARATE -ac $ACH -b:a ${AKBPS}k -t $DURATION -y $RUN_DIR/out.mp4"
}
rec_end() { bench_wait_exit $((DURATION + 60)) || bench_term; }
REC
"$WORK/anchor/anchor-bench.sh" -r "ssr vidloom-mpeg4 vidloom-h264 ${RECORDERS:-ceiling}" "$@"
