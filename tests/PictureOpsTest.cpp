// Cursor placement in a scaled picture, cursor blending and picture scaling
// on plain buffers (the unscaled rules are checked on the X server).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "capture/PictureOps.h"

namespace {

// A width x height picture of one colour (0xRRGGBB) on the heap at its exact
// size, so AddressSanitizer sees any write past it.
struct Picture {
    int width, height;
    std::unique_ptr<uint8_t[]> data;
    Picture(int w, int h, uint32_t rgb) : width(w), height(h), data(new uint8_t[(size_t)w * h * 4]) {
        for (int i = 0; i < w * h; ++i) {
            uint32_t v = rgb & 0xFFFFFF;
            memcpy(&data[(size_t)i * 4], &v, 4);
        }
    }
    uint32_t At(int x, int y) const {
        uint32_t v;
        memcpy(&v, &data[((size_t)y * width + x) * 4], 4);
        return v;
    }
    uint8_t* Bytes() { return data.get(); }
};

std::vector<uint32_t> Square(int size, uint32_t argb) { return std::vector<uint32_t>(size * size, argb); }

}  // namespace

TEST(CursorDrawPosition, ScalesWithTheArea) {
    int x = 0, y = 0;
    // A window of 100 x 80 at Open, now 200 x 80 at (10, 20): x is halved.
    EXPECT_TRUE(CursorDrawPosition(10 + 101, 20 + 30, 0, 0, 10, 20, 100, 80, 200, 80, &x, &y));
    EXPECT_EQ(50, x) << "101 / 2 truncated";
    EXPECT_EQ(30, y);
    // Truncation toward zero: -1 * 100 / 200 is 0, which is not drawn either.
    EXPECT_FALSE(CursorDrawPosition(10 - 1, 50, 0, 0, 10, 20, 100, 80, 200, 80, &x, &y));
    EXPECT_EQ(0, x);
    // Position 2 in the wide window is 1 in the picture: drawn.
    EXPECT_TRUE(CursorDrawPosition(12, 50, 0, 0, 10, 20, 100, 80, 200, 80, &x, &y));
    EXPECT_EQ(1, x);
    // Shrunk to half the height: y doubles, out at the bottom.
    EXPECT_FALSE(CursorDrawPosition(50, 20 + 40, 0, 0, 10, 20, 100, 80, 100, 40, &x, &y));
    EXPECT_EQ(80, y);
}

TEST(BlendCursor, OpaqueTranslucentAndTransparentPixels) {
    Picture picture(8, 8, 0x204060);
    std::vector<uint32_t> cursor = {
        0xFF0000FF, 0x00000000,  // opaque blue, fully transparent
        0x80400000, 0x40404040,  // half-covering dark red (premultiplied), quarter grey
    };
    BlendCursor(picture.Bytes(), 8, 8, 8 * 4, cursor.data(), 2, 2, 3, 3);
    EXPECT_EQ(0x0000FFu, picture.At(3, 3));
    EXPECT_EQ(0x204060u, picture.At(4, 3));
    // 0x40 + c * 127 / 255 for each channel, the fourth byte stays 0.
    EXPECT_EQ((uint32_t)((0x40 + 0x10) << 16 | 0x20 << 8 | 0x30), picture.At(3, 4));
    uint32_t q = picture.At(4, 4);
    EXPECT_EQ(0x40u + (0x20 * 191 + 127) / 255, q >> 16);
    EXPECT_EQ(0u, q >> 24) << "unused byte untouched";
    EXPECT_EQ(0x204060u, picture.At(2, 2));
    EXPECT_EQ(0x204060u, picture.At(5, 5));
}

TEST(BlendCursor, ClipsAtEveryEdgeWithoutWritingOutside) {
    std::vector<uint32_t> cursor = Square(4, 0xFFFFFFFF);
    Picture picture(10, 6, 0);
    BlendCursor(picture.Bytes(), 10, 6, 40, cursor.data(), 4, 4, 8, 4);  // right and bottom
    EXPECT_EQ(0xFFFFFFu, picture.At(9, 5));
    EXPECT_EQ(0xFFFFFFu, picture.At(8, 4));
    EXPECT_EQ(0u, picture.At(7, 4));
    BlendCursor(picture.Bytes(), 10, 6, 40, cursor.data(), 4, 4, -2, -3);  // left and top
    EXPECT_EQ(0xFFFFFFu, picture.At(0, 0));
    EXPECT_EQ(0xFFFFFFu, picture.At(1, 0));
    EXPECT_EQ(0u, picture.At(2, 0));
    EXPECT_EQ(0u, picture.At(0, 1));
    BlendCursor(picture.Bytes(), 10, 6, 40, cursor.data(), 4, 4, 10, 0);  // wholly outside
    BlendCursor(picture.Bytes(), 10, 6, 40, cursor.data(), 4, 4, 0, -4);

    // A picture with padded rows: the padding is not a pixel.
    std::vector<uint8_t> padded(3 * 12, 0xAA);
    BlendCursor(padded.data(), 2, 3, 12, cursor.data(), 4, 4, 1, 1);
    EXPECT_EQ(0xAA, padded[12 + 8]) << "padding after row 1 untouched";
    EXPECT_EQ(0xFF, padded[12 + 4]);
}

TEST(BlendCursor, HiddenCursorsDrawNothing) {
    Picture picture(4, 4, 0x123456);
    uint32_t one = 0xFFFFFFFF;
    BlendCursor(picture.Bytes(), 4, 4, 16, &one, 1, 1, 1, 1);
    BlendCursor(picture.Bytes(), 4, 4, 16, &one, 0, 0, 1, 1);
    BlendCursor(picture.Bytes(), 4, 4, 16, nullptr, 2, 2, 1, 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(0x123456u, picture.At(x, y));
}

TEST(ScalePicture, NearestNeighbourToTheOpenSize) {
    // A 4 x 2 area of columns 1, 2, 3, 4 scaled to 2 x 2 keeps columns 1 and 3.
    Picture area(4, 2, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            uint32_t v = (uint32_t)(x + 1);
            memcpy(area.Bytes() + (y * 4 + x) * 4, &v, 4);
        }
    Picture half(2, 2, 0xFFFFFF);
    ScalePicture(area.Bytes(), 0, 0, 4, 2, 16, 4, 2, half.Bytes(), 2, 2, 8);
    EXPECT_EQ(1u, half.At(0, 1));
    EXPECT_EQ(3u, half.At(1, 1));

    // Enlarged to 8 x 4: each source pixel twice in each direction.
    Picture twice(8, 4, 0xFFFFFF);
    ScalePicture(area.Bytes(), 0, 0, 4, 2, 16, 4, 2, twice.Bytes(), 8, 4, 32);
    EXPECT_EQ(1u, twice.At(1, 3));
    EXPECT_EQ(2u, twice.At(2, 0));
    EXPECT_EQ(4u, twice.At(7, 3));
}

TEST(ScalePicture, AreaPartlyOffScreenComesOutBlack) {
    // The area is 4 x 4; only its right half, columns 2 and 3, was on screen.
    Picture part(2, 4, 0x00FF00);
    Picture out(4, 4, 0xFFFFFF);
    ScalePicture(part.Bytes(), 2, 0, 2, 4, 8, 4, 4, out.Bytes(), 4, 4, 16);
    EXPECT_EQ(0u, out.At(0, 0));
    EXPECT_EQ(0u, out.At(1, 3));
    EXPECT_EQ(0x00FF00u, out.At(2, 0));
    EXPECT_EQ(0x00FF00u, out.At(3, 3));
    // Only its top row on screen.
    Picture row(4, 1, 0x0000FF);
    ScalePicture(row.Bytes(), 0, 0, 4, 1, 16, 4, 4, out.Bytes(), 4, 4, 16);
    EXPECT_EQ(0x0000FFu, out.At(2, 0));
    EXPECT_EQ(0u, out.At(2, 1));
}
