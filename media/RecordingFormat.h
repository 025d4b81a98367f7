#pragma once

#include <cstdint>

// What every recording is made of, whichever window records it. The frame
// and sample rates and the codec below are the defaults a user who changes
// no setting records with.
namespace RecordingFormat {

// Video codecs a recording can use.
enum VideoCodec { CODEC_MPEG4 = 0, CODEC_H264 = 1 };

// Output pictures a second.
constexpr int FRAMES_PER_SECOND = 25;
// Length of one output picture, in ms: pictures are numbered by it.
constexpr double FRAME_PERIOD_MS = 1000.0 / FRAMES_PER_SECOND;
// The same in microseconds, the unit every packet's time is in.
constexpr int64_t FRAME_PERIOD_US = 1000000 / FRAMES_PER_SECOND;
// Sound: samples a second per channel. Low, because speech is what matters
// and the files stay small.
constexpr int SAMPLE_RATE = 11025;
// Sound: stereo.
constexpr int CHANNELS = 2;
// Sample frames in one captured block and in one encoded AAC frame.
constexpr int FRAMES_PER_BLOCK = 1024;
// Bytes of one block of interleaved 16-bit samples.
constexpr int BLOCK_BYTES = FRAMES_PER_BLOCK * CHANNELS * 2;

// The frame a picture taken us microseconds after the start of the
// recording clock belongs to at fps pictures a second: the count of frame
// periods, rounded to the nearest (at 25, 1019 ms is frame 25, 1021 ms frame
// 26). Exact for rates whose period is not a whole microsecond (30, 60).
// The capture pacing, the one-picture-per-period rule and the packer's pts
// all use it.
constexpr int64_t FrameAt(int64_t us, int fps) {
    int64_t n = us * fps + 500000;
    return n >= 0 ? n / 1000000 : -((999999 - n) / 1000000);
}
// When frame's period begins, in microseconds of the recording clock: the
// first microsecond FrameAt gives frame for.
constexpr int64_t PeriodStart(int64_t frame, int fps) {
    int64_t n = frame * 1000000 - 500000;
    return n >= 0 ? (n + fps - 1) / fps : -((-n) / fps);
}

}  // namespace RecordingFormat
