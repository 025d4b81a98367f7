#pragma once

// What every recording is made of, whichever window records it. These shape
// the output file and are not settings.
namespace RecordingFormat {

// Output pictures a second.
constexpr int FRAMES_PER_SECOND = 25;
// Length of one output picture, in ms: pictures are numbered by it.
constexpr double FRAME_PERIOD_MS = 1000.0 / FRAMES_PER_SECOND;
// Sound: samples a second per channel. Low, because speech is what matters
// and the files stay small.
constexpr int SAMPLE_RATE = 11025;
// Sound: stereo.
constexpr int CHANNELS = 2;
// Sample frames in one captured block and in one encoded AAC frame.
constexpr int FRAMES_PER_BLOCK = 1024;
// Bytes of one block of interleaved 16-bit samples.
constexpr int BLOCK_BYTES = FRAMES_PER_BLOCK * CHANNELS * 2;

}  // namespace RecordingFormat
