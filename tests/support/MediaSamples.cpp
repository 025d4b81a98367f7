#include "tests/support/MediaSamples.h"

#include <cmath>

void FillPicture(uint8_t* picture, int width, int height, int bytesPerPixel, uint8_t blue, uint8_t green,
                 uint8_t red) {
    size_t pixels = (size_t)width * height;
    for (size_t i = 0; i < pixels; ++i) {
        uint8_t* p = picture + i * bytesPerPixel;
        p[0] = blue;
        p[1] = green;
        p[2] = red;
        if (bytesPerPixel == 4)
            p[3] = 0;
    }
}

std::vector<uint8_t> SolidPicture(int width, int height, int bytesPerPixel, uint8_t blue, uint8_t green,
                                  uint8_t red) {
    std::vector<uint8_t> picture((size_t)width * height * bytesPerPixel);
    FillPicture(picture.data(), width, height, bytesPerPixel, blue, green, red);
    return picture;
}

std::vector<uint8_t> SineBlock(int64_t firstFrame, double hz) {
    std::vector<uint8_t> block(SOUND_BLOCK_BYTES);
    int16_t* samples = reinterpret_cast<int16_t*>(block.data());
    for (int i = 0; i < SOUND_BLOCK_FRAMES; ++i) {
        double t = (double)(firstFrame + i) / SOUND_SAMPLE_RATE;
        int16_t v = (int16_t)std::lround(16384.0 * std::sin(2 * M_PI * hz * t));
        samples[2 * i] = v;
        samples[2 * i + 1] = v;
    }
    return block;
}
