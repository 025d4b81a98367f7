#include "platform/CameraFormat.h"

const char* CameraFormatName(uint32_t fourcc) {
    switch (fourcc) {
    case CAMERA_FOURCC_YUYV: return "YUY2";
    case CAMERA_FOURCC_BGR24: return "RGB24";
    case CAMERA_FOURCC_BGR32:
    case CAMERA_FOURCC_XBGR32: return "RGB32";
    default: return "";
    }
}

int CameraFormatBitCount(uint32_t fourcc) {
    switch (fourcc) {
    case CAMERA_FOURCC_YUYV: return 16;
    case CAMERA_FOURCC_BGR24: return 24;
    case CAMERA_FOURCC_BGR32:
    case CAMERA_FOURCC_XBGR32: return 32;
    default: return 0;
    }
}

uint32_t CameraFormatCompression(uint32_t fourcc) {
    return fourcc == CAMERA_FOURCC_YUYV ? CameraFourcc('Y', 'U', 'Y', '2') : 0;
}

namespace {
constexpr int64_t UNITS_PER_SECOND = 10000000;  // time per frame is in 100 ns units
constexpr double UNITS_PER_MS = 10000.0;
}  // namespace

int FpsOfTimePerFrame(int64_t timePerFrame) {
    return timePerFrame > 0 ? int(UNITS_PER_SECOND / timePerFrame) : 0;
}

int RoundedFpsOfTimePerFrame(int64_t timePerFrame, int& fps) {
    if (timePerFrame <= 0)
        return -1;
    double ms = timePerFrame / UNITS_PER_MS;
    fps = int(1000.0 / ms + 0.5);
    return 0;
}

int LineBytesOf(int imageSize, int height) {
    return height > 0 ? int(uint32_t(imageSize) / uint32_t(height)) : 0;
}

int ControlFromPercent(int minimum, int maximum, int percent) {
    return int((int64_t(maximum) - minimum) * percent / 100 + minimum);
}

int ControlToPercent(int minimum, int maximum, int value, int& percent) {
    if (maximum <= minimum)
        return -1;
    percent = int((int64_t(value) - minimum) * 100 / (int64_t(maximum) - minimum));
    return 0;
}
