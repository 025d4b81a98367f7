#pragma once

#include <cstdint>

// The test camera's moving picture, drawn into a buffer (rows top first):
// a band of CODE_ROWS rows on top carries the frame number as CODE_BITS
// black or white cells (most significant first), untouched by the picture
// controls; below it the upper half is orange, the lower half blue, and a
// white bar moves to the right by BAR_STEP pixels a frame. Brightness,
// contrast and saturation change everything below the band.

constexpr int TESTCAM_CODE_ROWS = 16;
constexpr int TESTCAM_CODE_BITS = 32;
constexpr int TESTCAM_BAR_STEP = 4;

// Draws frame frameNumber in fourcc (YUYV or BGR24) at width x height, rows
// lineBytes apart. Controls at their defaults (0, 128, 50) leave the colours
// as they are.
void DrawTestCameraFrame(unsigned char* data, uint32_t fourcc, int width, int height, int lineBytes,
                         uint32_t frameNumber, int brightness, int contrast, int saturation);

// The frame number a test camera frame carries (bitCount 16: YUY2, 24 or 32:
// BGR), or -1 when the top band holds no code (a flipped or foreign picture).
int64_t ReadTestCameraFrameNumber(const unsigned char* data, int width, int height, int lineBytes,
                                  int bitCount);
