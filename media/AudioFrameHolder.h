#pragma once

#include <cstdint>

#include "media/RecordingFormat.h"

struct AVFrame;

// Presents one captured sound block (1024 interleaved 16-bit sample frames)
// to the audio encoder as a frame, without copying. Not thread-safe: the
// packer thread alone uses it.
class AudioFrameHolder {
public:
    // Sample frames in one block and in one encoded frame.
    static constexpr int BLOCK_SAMPLES = RecordingFormat::FRAMES_PER_BLOCK;

    AudioFrameHolder();
    ~AudioFrameHolder();

    // Frames of channels (1 or 2) interleaved signed 16-bit samples. 0 or -1.
    int Init(int channels);
    // Bytes of one block.
    int BlockSize() const { return BLOCK_SAMPLES * m_channels * 2; }
    // Points the frame's samples into block and sets its pts. The frame,
    // valid while block is; null when size is short of BlockSize().
    AVFrame* Wrap(const uint8_t* block, int size, int64_t pts);
    // Releases the frame (not the samples). Safe twice.
    void Free();

private:
    AudioFrameHolder(const AudioFrameHolder&) = delete;
    AudioFrameHolder& operator=(const AudioFrameHolder&) = delete;

    AVFrame* m_frame;
    int32_t m_channels;
};
