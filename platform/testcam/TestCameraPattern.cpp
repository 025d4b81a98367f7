#include "platform/testcam/TestCameraPattern.h"

#include <algorithm>
#include <cstring>

#include "platform/CameraFormat.h"

namespace {

struct Rgb {
    int r, g, b;
};

// Both halves sit between the code levels, so a flipped picture reads as no code.
const Rgb TOP_COLOUR = {200, 90, 40};
const Rgb BOTTOM_COLOUR = {60, 120, 230};
const Rgb BAR_COLOUR = {230, 230, 230};
const Rgb CODE_ONE = {255, 255, 255};
const Rgb CODE_ZERO = {0, 0, 0};
// A cell reads as 1 above, as 0 below these luminances; in between it is no code.
constexpr int CODE_HIGH = 160;
constexpr int CODE_LOW = 96;

int Clamp255(int v) {
    return std::min(255, std::max(0, v));
}

// Brightness shifts, contrast scales around mid grey (128 = unchanged),
// saturation blends towards the grey of the same luminance (50 = unchanged).
Rgb ApplyControls(Rgb c, int brightness, int contrast, int saturation) {
    int ch[3] = {c.r, c.g, c.b};
    for (int& v : ch)
        v = Clamp255((v - 128) * contrast / 128 + 128 + brightness);
    int grey = (ch[0] * 77 + ch[1] * 150 + ch[2] * 29) >> 8;
    for (int& v : ch)
        v = Clamp255(grey + (v - grey) * saturation / 50);
    return {ch[0], ch[1], ch[2]};
}

// Studio-range BT.601, as cameras deliver YUY2.
void ToYuv(Rgb c, int& y, int& u, int& v) {
    y = 16 + ((66 * c.r + 129 * c.g + 25 * c.b + 128) >> 8);
    u = 128 + ((-38 * c.r - 74 * c.g + 112 * c.b + 128) >> 8);
    v = 128 + ((112 * c.r - 94 * c.g - 18 * c.b + 128) >> 8);
}

// Writes one row of pixels (colour of pixel x from colourAt) in the format.
template <typename F>
void DrawRow(unsigned char* row, uint32_t fourcc, int width, F colourAt) {
    if (fourcc == CAMERA_FOURCC_YUYV) {
        for (int x = 0; x + 1 < width; x += 2) {
            int y0, u, v, y1, u1, v1;
            ToYuv(colourAt(x), y0, u, v);
            ToYuv(colourAt(x + 1), y1, u1, v1);
            row[2 * x] = uint8_t(y0);
            row[2 * x + 1] = uint8_t((u + u1) / 2);
            row[2 * x + 2] = uint8_t(y1);
            row[2 * x + 3] = uint8_t((v + v1) / 2);
        }
    } else {
        for (int x = 0; x < width; ++x) {
            Rgb c = colourAt(x);
            row[3 * x] = uint8_t(c.b);
            row[3 * x + 1] = uint8_t(c.g);
            row[3 * x + 2] = uint8_t(c.r);
        }
    }
}

}  // namespace

void DrawTestCameraFrame(unsigned char* data, uint32_t fourcc, int width, int height, int lineBytes,
                         uint32_t frameNumber, int brightness, int contrast, int saturation) {
    if (width < TESTCAM_CODE_BITS || height < 2 * TESTCAM_CODE_ROWS)
        return;
    const int cell = width / TESTCAM_CODE_BITS;
    const int barWidth = std::max(2, width / 16);
    const int barX = int(frameNumber * TESTCAM_BAR_STEP % uint32_t(width));
    const Rgb top = ApplyControls(TOP_COLOUR, brightness, contrast, saturation);
    const Rgb bottom = ApplyControls(BOTTOM_COLOUR, brightness, contrast, saturation);
    const Rgb bar = ApplyControls(BAR_COLOUR, brightness, contrast, saturation);

    // the code band: draw one row, copy it down
    DrawRow(data, fourcc, width, [&](int x) {
        int bit = std::min(x / cell, TESTCAM_CODE_BITS - 1);
        return (frameNumber >> (TESTCAM_CODE_BITS - 1 - bit)) & 1 ? CODE_ONE : CODE_ZERO;
    });
    for (int y = 1; y < TESTCAM_CODE_ROWS; ++y)
        memcpy(data + size_t(y) * lineBytes, data, size_t(lineBytes));

    // the two halves with the bar: one row each, copied down
    auto halfRow = [&](Rgb background) {
        return [&, background](int x) {
            int dx = (x - barX + width) % width;
            return dx < barWidth ? bar : background;
        };
    };
    unsigned char* topRow = data + size_t(TESTCAM_CODE_ROWS) * lineBytes;
    unsigned char* bottomRow = data + size_t(height / 2) * lineBytes;
    DrawRow(topRow, fourcc, width, halfRow(top));
    DrawRow(bottomRow, fourcc, width, halfRow(bottom));
    for (int y = TESTCAM_CODE_ROWS + 1; y < height / 2; ++y)
        memcpy(data + size_t(y) * lineBytes, topRow, size_t(lineBytes));
    for (int y = height / 2 + 1; y < height; ++y)
        memcpy(data + size_t(y) * lineBytes, bottomRow, size_t(lineBytes));
}

int64_t ReadTestCameraFrameNumber(const unsigned char* data, int width, int height, int lineBytes,
                                  int bitCount) {
    if (data == nullptr || width < TESTCAM_CODE_BITS || height < 2 * TESTCAM_CODE_ROWS)
        return -1;
    const int cell = width / TESTCAM_CODE_BITS;
    const unsigned char* row = data + size_t(TESTCAM_CODE_ROWS / 2) * lineBytes;
    uint32_t number = 0;
    for (int bit = 0; bit < TESTCAM_CODE_BITS; ++bit) {
        int x = bit * cell + cell / 2;
        int luma;
        if (bitCount == 16) {
            luma = row[2 * x];
        } else {
            const unsigned char* p = row + size_t(x) * (bitCount / 8);
            luma = (p[0] + p[1] + p[2]) / 3;
        }
        if (luma >= CODE_HIGH)
            number = number << 1 | 1;
        else if (luma <= CODE_LOW)
            number = number << 1;
        else
            return -1;
    }
    return number;
}
