#include "media/AudioFrameHolder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include "os/OS_Log.h"

AudioFrameHolder::AudioFrameHolder() : m_frame(nullptr), m_channels(0) {}

AudioFrameHolder::~AudioFrameHolder() { Free(); }

int AudioFrameHolder::Init(int channels) {
    Free();
    if (channels < 1 || channels > 2)
        return -1;
    m_frame = av_frame_alloc();
    if (!m_frame) {
        OS_Log::Error("Could not allocate audio frame\n");
        return -1;
    }
    m_channels = channels;
    m_frame->nb_samples = BLOCK_SAMPLES;
    m_frame->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&m_frame->ch_layout, channels);  // mono or stereo
    return 0;
}

AVFrame* AudioFrameHolder::Wrap(const uint8_t* block, int size, int64_t pts) {
    // A short block would be read past its end by the encoder.
    if (!m_frame || !block || size < BlockSize())
        return nullptr;
    // Interleaved samples are one plane; the frame only borrows it.
    if (av_samples_fill_arrays(m_frame->data, m_frame->linesize, block, m_channels, BLOCK_SAMPLES,
                               AV_SAMPLE_FMT_S16, 1) < 0)
        return nullptr;
    m_frame->extended_data = m_frame->data;
    m_frame->pts = pts;
    return m_frame;
}

void AudioFrameHolder::Free() {
    av_frame_free(&m_frame);
    m_channels = 0;
}
