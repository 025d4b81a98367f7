#pragma once

#include <cstdint>

// Pixel formats of the camera layer as FOURCC codes, the same numbers the
// kernel uses, so the V4L2 backend passes them through unchanged.
constexpr uint32_t CameraFourcc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t CAMERA_FOURCC_YUYV = CameraFourcc('Y', 'U', 'Y', 'V');
constexpr uint32_t CAMERA_FOURCC_BGR24 = CameraFourcc('B', 'G', 'R', '3');
constexpr uint32_t CAMERA_FOURCC_BGR32 = CameraFourcc('B', 'G', 'R', '4');
constexpr uint32_t CAMERA_FOURCC_XBGR32 = CameraFourcc('X', 'R', '2', '4');
constexpr uint32_t CAMERA_FOURCC_MJPEG = CameraFourcc('M', 'J', 'P', 'G');

// "YUY2", "RGB24", "RGB32", or "" for a format frames cannot be taken in.
const char* CameraFormatName(uint32_t fourcc);
// Bits per pixel of a format we take (16, 24, 32), else 0.
int CameraFormatBitCount(uint32_t fourcc);
// The bitmap compression code: "YUY2" as FOURCC for YUYV, 0 otherwise.
uint32_t CameraFormatCompression(uint32_t fourcc);

// Frames per second of a time per frame in 100 ns units: 10000000 / t,
// truncating; 0 when the camera gives no time (t <= 0).
int FpsOfTimePerFrame(int64_t timePerFrame);
// The same rounded to nearest, through milliseconds per frame, into fps. 0,
// or -1 (fps untouched) when t <= 0.
int RoundedFpsOfTimePerFrame(int64_t timePerFrame, int& fps);
// Bytes per row: imageSize / height; 0 for a height of 0 or less.
int LineBytesOf(int imageSize, int height);

// A control's value at percent of its range: (max - min) * percent / 100 + min,
// truncating. Computed in 64 bits, so wide ranges do not overflow.
int ControlFromPercent(int minimum, int maximum, int percent);
// value as a percentage of the range, truncating: (value - min) * 100 / (max - min)
// into percent. 0, or -1 (percent untouched) when the range is empty (max <= min).
int ControlToPercent(int minimum, int maximum, int value, int& percent);
