#include "capture/PictureOps.h"

#include <algorithm>
#include <cstring>

bool CursorDrawPosition(int pointerX, int pointerY, int hotX, int hotY, int originX, int originY,
                        int width, int height, int areaWidth, int areaHeight, int* x, int* y) {
    int64_t cx = (int64_t)pointerX - originX - hotX;
    int64_t cy = (int64_t)pointerY - originY - hotY;
    // C++ division truncates toward zero, as the position rule wants.
    if (areaWidth > 0 && areaWidth != width)
        cx = cx * width / areaWidth;
    if (areaHeight > 0 && areaHeight != height)
        cy = cy * height / areaHeight;
    *x = (int)cx;
    *y = (int)cy;
    return 0 < cx && cx < width && 0 < cy && cy < height;
}

void BlendCursor(uint8_t* picture, int width, int height, int rowBytes, const uint32_t* argb,
                 int cursorWidth, int cursorHeight, int x, int y) {
    if (!picture || !argb || cursorWidth <= 0 || cursorHeight <= 0 ||
        (cursorWidth == 1 && cursorHeight == 1))
        return;
    int col0 = std::max(0, -x), col1 = std::min(cursorWidth, width - x);
    int row0 = std::max(0, -y), row1 = std::min(cursorHeight, height - y);
    for (int row = row0; row < row1; ++row) {
        const uint32_t* s = argb + (size_t)row * cursorWidth;
        uint8_t* d = picture + (size_t)(y + row) * rowBytes + (size_t)x * 4;
        for (int col = col0; col < col1; ++col) {
            uint32_t p = s[col];
            unsigned alpha = p >> 24;
            if (alpha == 0 && (p & 0xFFFFFF) == 0)
                continue;
            // Premultiplied: out = cursor + picture * (1 - alpha).
            unsigned keep = 255 - alpha;
            uint8_t* px = d + (size_t)col * 4;
            for (int c = 0; c < 3; ++c) {
                unsigned src = (p >> (8 * c)) & 0xFF;  // blue, green, red
                unsigned v = src + (px[c] * keep + 127) / 255;
                px[c] = (uint8_t)std::min(v, 255u);
            }
        }
    }
}

void ScalePicture(const uint8_t* src, int srcX, int srcY, int srcWidth, int srcHeight,
                  int srcRowBytes, int areaWidth, int areaHeight, uint8_t* dst, int dstWidth,
                  int dstHeight, int dstRowBytes) {
    if (areaWidth <= 0 || areaHeight <= 0)
        return;
    for (int dy = 0; dy < dstHeight; ++dy) {
        uint8_t* d = dst + (size_t)dy * dstRowBytes;
        int sy = (int)((int64_t)dy * areaHeight / dstHeight) - srcY;
        if (sy < 0 || sy >= srcHeight) {
            memset(d, 0, (size_t)dstWidth * 4);
            continue;
        }
        const uint8_t* s = src + (size_t)sy * srcRowBytes;
        for (int dx = 0; dx < dstWidth; ++dx) {
            int sx = (int)((int64_t)dx * areaWidth / dstWidth) - srcX;
            if (sx < 0 || sx >= srcWidth)
                memset(d + (size_t)dx * 4, 0, 4);
            else
                memcpy(d + (size_t)dx * 4, s + (size_t)sx * 4, 4);
        }
    }
}

void FlipRows(uint8_t* data, int rowBytes, int rows) {
    if (!data || rowBytes <= 0 || rows < 2)
        return;
    for (int i = 0; i < rows / 2; ++i) {
        uint8_t* top = data + (size_t)i * rowBytes;
        uint8_t* bottom = data + (size_t)(rows - 1 - i) * rowBytes;
        std::swap_ranges(top, top + rowBytes, bottom);
    }
}
