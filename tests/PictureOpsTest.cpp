// Cursor placement, blending and picture scaling on plain buffers (unscaled rules: on the X server).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "capture/PictureOps.h"

namespace {

// A picture of one colour (0xRRGGBB) at its exact size, so AddressSanitizer sees any write past it.
struct Picture {
    int width;
    std::vector<uint32_t> pixels;
    Picture(int w, int h, uint32_t rgb) : width(w), pixels((size_t)w * h, rgb) {}
    uint32_t At(int x, int y) const { return pixels[(size_t)y * width + x]; }
    uint8_t* Bytes() { return (uint8_t*)pixels.data(); }
};

}  // namespace

TEST(Cursor, PositionScalesAndTruncatesTowardZeroBlendingIsPremultipliedAndClipped) {
    // A window of 100 x 80 at Open, now at (10, 20) and 200 x 80 (or 100 x 40).
    struct Case { int pointerX, pointerY, areaWidth, areaHeight; bool drawn; int x, y; } cases[] = {
        {10 - 1, 50, 200, 80, false, 0, 30},        // -1 / 2 is 0: not drawn either
        {12, 50, 200, 80, true, 1, 30},             // 2 in the wide window is 1: drawn
        {50, 20 + 40, 100, 40, false, 40, 80},      // half the height: y doubles, out
    };
    for (const Case& c : cases) {
        int x = -9, y = -9;
        EXPECT_EQ(c.drawn, CursorDrawPosition(c.pointerX, c.pointerY, 0, 0, 10, 20, 100, 80,
                                              c.areaWidth, c.areaHeight, &x, &y));
        EXPECT_EQ(c.x, x) << c.pointerX;
        EXPECT_EQ(c.y, y) << c.pointerY;
    }
    // Blending: premultiplied alpha, clipped at every edge.
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
    EXPECT_EQ(0x204060u, picture.At(2, 2));
    EXPECT_EQ(0x204060u, picture.At(5, 5));
    // Clipped at every edge; hidden (1 x 1, 0 x 0, none) draws nothing.
    std::vector<uint32_t> white(16, 0xFFFFFFFF);
    Picture clipped(10, 6, 0);
    // (size, x, y): right and bottom, left and top, wholly outside twice, hidden twice
    for (auto [size, x, y] : {std::tuple{4, 8, 4}, {4, -2, -3}, {4, 10, 0}, {4, 0, -4}, {1, 4, 2}, {0, 4, 2}})
        BlendCursor(clipped.Bytes(), 10, 6, 40, white.data(), size, size, x, y);
    BlendCursor(clipped.Bytes(), 10, 6, 40, nullptr, 2, 2, 4, 2);
    std::vector<uint32_t> expected(60, 0);
    for (int at : {0, 1, 48, 49, 58, 59})  // 2 x 1 at the top left, 2 x 2 at the bottom right
        expected[at] = 0xFFFFFF;
    EXPECT_EQ(expected, clipped.pixels);
    // A picture with padded rows: the padding is not a pixel.
    std::vector<uint8_t> padded(3 * 12, 0xAA);
    BlendCursor(padded.data(), 2, 3, 12, white.data(), 4, 4, 1, 1);
    EXPECT_EQ(0xFF, padded[12 + 4]);
    EXPECT_EQ(0xAA, padded[12 + 8]) << "padding after row 1 untouched";
}

TEST(Pictures, ScaleToNearestNeighbourBlackWhereOffScreenAndFlipInPlace) {
    // A 4 x 2 area of columns 1, 2, 3, 4 doubled repeats each (halving: on the X server).
    Picture area(4, 2, 0);
    for (int i = 0; i < 8; ++i)
        area.pixels[i] = (uint32_t)(i % 4 + 1);
    Picture twice(8, 4, 0xFFFFFF);
    ScalePicture(area.Bytes(), 0, 0, 4, 2, 16, 4, 2, twice.Bytes(), 8, 4, 32);
    EXPECT_EQ(1u, twice.At(1, 3));
    EXPECT_EQ(2u, twice.At(2, 0));
    EXPECT_EQ(4u, twice.At(7, 3));
    // Only the right half of a 4 x 4 area on screen, then only its top row.
    Picture part(2, 4, 0x00FF00), row(4, 1, 0x0000FF), out(4, 4, 0xFFFFFF);
    ScalePicture(part.Bytes(), 2, 0, 2, 4, 8, 4, 4, out.Bytes(), 4, 4, 16);
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 0x00FF00, 0x00FF00}),
              std::vector<uint32_t>(out.pixels.begin() + 12, out.pixels.end()));
    ScalePicture(row.Bytes(), 0, 0, 4, 1, 16, 4, 4, out.Bytes(), 4, 4, 16);
    EXPECT_EQ(0x0000FFu, out.At(2, 0));
    EXPECT_EQ(0u, out.At(2, 1));
    // Flipping reverses rows of any layout in place: 640 x 480 at 24 bits, odd row counts (the middle row stays) and a single row.
    struct Case { int rowBytes, rows; } cases[] = {{1920, 480}, {9, 3}, {6, 1}, {4, 5}};
    for (const Case& c : cases) {
        // Row r holds bytes (r * 7 + column) & 0xff: each row is distinct.
        std::vector<uint8_t> picture((size_t)c.rowBytes * c.rows);
        for (int r = 0; r < c.rows; ++r)
            for (int i = 0; i < c.rowBytes; ++i)
                picture[(size_t)r * c.rowBytes + i] = (uint8_t)(r * 7 + i);
        std::vector<uint8_t> original = picture;
        FlipRows(picture.data(), c.rowBytes, c.rows);
        for (int r = 0; r < c.rows; ++r)
            ASSERT_EQ(0, memcmp(&picture[(size_t)r * c.rowBytes],
                                &original[(size_t)(c.rows - 1 - r) * c.rowBytes], c.rowBytes))
                << c.rowBytes << " x " << c.rows << ", row " << r;
    }
}
