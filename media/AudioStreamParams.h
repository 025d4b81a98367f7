#pragma once

#include <cstdint>

// What Mp4Muxer::Open needs to add the audio stream. Passed by value.
struct AudioStreamParams {
    int32_t sampleRate;  // samples per second
    int32_t channels;    // 1 or 2
    int32_t codecId;     // FFmpeg AVCodecID; 0: the file gets no audio stream
    int32_t bitRate;     // bits per second
    int32_t frameSize;   // sample frames per encoded frame

    AudioStreamParams() : sampleRate(0), channels(0), codecId(0), bitRate(0), frameSize(0) {}
};
