#pragma once

#include <cstdint>

// What Mp4Muxer::Open needs to add the video stream. Passed by value.
struct VideoStreamParams {
    int32_t width;        // coded width
    int32_t height;       // coded height
    int32_t bitRate;      // bits per second; with a quality, the most it may take
    int32_t quality;      // H.264: x264's constant rate factor instead of a rate; 0: none
    int32_t codecId;      // FFmpeg AVCodecID; 0: the file gets no video stream
    int32_t timeBaseNum;  // codec time base: one frame period
    int32_t timeBaseDen;

    VideoStreamParams() : width(0), height(0), bitRate(0), quality(0), codecId(0), timeBaseNum(0), timeBaseDen(0) {}
};
