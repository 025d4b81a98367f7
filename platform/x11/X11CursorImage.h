#pragma once

#include <cstdint>
#include <vector>

class X11Connection;

// The pointer's position and the cursor's picture, read with XFixes.
// The buffer is kept between reads, so reading allocates only when a cursor
// larger than any before appears.
class X11CursorImage {
public:
    X11CursorImage();

    // Reads the current cursor. 0, or -1 with an empty image (width and
    // height 0) when the server has no XFIXES or the request failed.
    int Read(X11Connection* conn);

    // Pointer position on the screen, hot spot within the image.
    int x() const { return m_x; }
    int y() const { return m_y; }
    int hotX() const { return m_hotX; }
    int hotY() const { return m_hotY; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // width * height premultiplied ARGB pixels (0xAARRGGBB), rows top first.
    const uint32_t* pixels() const { return m_pixels.data(); }

private:
    int m_x, m_y;
    int m_hotX, m_hotY;
    int m_width, m_height;
    std::vector<uint32_t> m_pixels;
};
