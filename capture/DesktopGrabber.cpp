#include "capture/DesktopGrabber.h"

#include <cstdint>

#include "capture/PictureOps.h"
#include "os/OS_Log.h"

DesktopGrabber::DesktopGrabber() : m_x(0), m_y(0), m_width(0), m_height(0), m_bitsPerPixel(0) {}

DesktopGrabber::~DesktopGrabber() { Close(); }

int DesktopGrabber::Open(int x, int y, int width, int height) {
    Close();
    if (width <= 0 || height <= 0) {
        OS_Log::Error("[DesktopGrabber::Open] Error: the rectangle %d x %d has no area.\n", width, height);
        return -1;
    }
    if (m_conn.Open() != 0 || m_image.Open(&m_conn, width, height) != 0) {
        Close();
        return -1;
    }
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
    m_bitsPerPixel = X11ScreenImage::BITS_PER_PIXEL;
    OS_Log::Debug("bmp size: %d x %d .\n", m_width, m_height);
    return 0;
}

int DesktopGrabber::Grab(void* buffer, int size) {
    if (!buffer || m_bitsPerPixel == 0)
        return -1;
    int rows = size / rowBytes();
    if (rows > m_height)
        rows = m_height;
    if (rows <= 0)
        return 0;
    uint8_t* picture = static_cast<uint8_t*>(buffer);
    if (m_image.Grab(m_x, m_y, m_width, rows, picture, rowBytes()) != 0)
        return -1;
    int cx = 0, cy = 0;
    if (m_cursor.Read(&m_conn) == 0 &&
        CursorDrawPosition(m_cursor.x(), m_cursor.y(), m_cursor.hotX(), m_cursor.hotY(), m_x, m_y,
                           m_width, m_height, m_width, m_height, &cx, &cy))
        BlendCursor(picture, m_width, rows, rowBytes(), m_cursor.pixels(), m_cursor.width(),
                    m_cursor.height(), cx, cy);
    return 0;
}

void DesktopGrabber::Close() {
    m_image.Close();
    m_conn.Close();
    m_x = m_y = m_width = m_height = 0;
    m_bitsPerPixel = 0;
}
