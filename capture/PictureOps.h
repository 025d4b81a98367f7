#pragma once

#include <cstdint>

// Pixel work of the grabbers on plain buffers. Pictures are 4 bytes a pixel,
// blue, green, red, unused, rows top first, rowBytes apart.

// Where the cursor goes in a picture of width x height taken from the
// screen area at (originX, originY) of areaWidth x areaHeight (the picture's
// own size unless the area is scaled to it). The pointer is at (pointerX,
// pointerY) and the cursor's hot spot at (hotX, hotY) in its image. Sets
// (*x, *y) to the image's top-left corner in the picture, scaled like the
// area (truncating toward zero), and returns true when the cursor is to be
// drawn: 0 < x < width and 0 < y < height. A cursor whose corner falls on
// the first row or column, or outside, is left out.
bool CursorDrawPosition(int pointerX, int pointerY, int hotX, int hotY, int originX, int originY,
                        int width, int height, int areaWidth, int areaHeight, int* x, int* y);

// Blends a cursor image (premultiplied ARGB, 0xAARRGGBB, cursorWidth x
// cursorHeight, rows packed) at its natural size with its top-left corner at
// (x, y) of the picture; the parts outside the picture are cut off. The
// unused byte stays as it was. A 1 x 1 or empty image draws nothing: that is
// how applications hide the cursor.
void BlendCursor(uint8_t* picture, int width, int height, int rowBytes, const uint32_t* argb,
                 int cursorWidth, int cursorHeight, int x, int y);

// Scales a screen area of areaWidth x areaHeight to a picture of dstWidth x
// dstHeight, nearest neighbour. Only part of the area may be at hand (the
// rest was off the screen): src holds srcWidth x srcHeight pixels of it from
// (srcX, srcY) of the area on, srcRowBytes apart; pixels of the area outside
// that part come out 0.
void ScalePicture(const uint8_t* src, int srcX, int srcY, int srcWidth, int srcHeight,
                  int srcRowBytes, int areaWidth, int areaHeight, uint8_t* dst, int dstWidth,
                  int dstHeight, int dstRowBytes);

// Turns a picture upside down in place: row i trades places with row
// rows - 1 - i; the middle row of an odd count stays. Any pixel layout:
// rows are rowBytes long and packed. Allocates nothing (the camera thread
// calls it for every picture).
void FlipRows(uint8_t* data, int rowBytes, int rows);
