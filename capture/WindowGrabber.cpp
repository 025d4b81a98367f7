#include "capture/WindowGrabber.h"

#include <algorithm>

#include "capture/PictureOps.h"
#include "os/OS_Log.h"
#include "platform/x11/X11WindowRect.h"

WindowGrabber::WindowGrabber()
    : m_window(0), m_width(0), m_height(0), m_rowBytes(0), m_bitsPerPixel(0) {}

WindowGrabber::~WindowGrabber() { Close(); }

int WindowGrabber::Open(WindowId window) {
    Close();
    if (m_conn.Open() != 0)
        return -1;
    int left = 0, top = 0, width = 0, height = 0;
    if (X11GetWindowRect(&m_conn, window, &left, &top, &width, &height) != 0 || width <= 0 ||
        height <= 0) {
        OS_Log::Error("[WindowGrabber::Open] Error: window 0x%lx does not exist or has no area.\n", window);
        if (m_conn.ErrorText()[0])
            OS_Log::Error("[WindowGrabber::Open] X error: %s\n", m_conn.ErrorText());
        Close();
        return -1;
    }
    // The window may move anywhere on the screen: size the image for all of it.
    if (m_image.Open(&m_conn, m_conn.screenWidth(), m_conn.screenHeight()) != 0) {
        Close();
        return -1;
    }
    m_window = window;
    m_width = width;
    m_height = height;
    m_bitsPerPixel = X11ScreenImage::BITS_PER_PIXEL;
    m_rowBytes = width * X11ScreenImage::BYTES_PER_PIXEL;
    return 0;
}

int WindowGrabber::Grab(void* buffer, int size) {
    if (!buffer || m_bitsPerPixel == 0 || size < m_rowBytes * m_height)
        return -1;
    // the window's rectangle now; gone or empty: nothing to copy
    int left = 0, top = 0, currentWidth = 0, currentHeight = 0;
    if (X11GetWindowRect(&m_conn, m_window, &left, &top, &currentWidth, &currentHeight) != 0 ||
        currentWidth <= 0 || currentHeight <= 0)
        return -1;

    // the screen over it, scaled to the size at Open
    uint8_t* picture = static_cast<uint8_t*>(buffer);
    int result = currentWidth == m_width && currentHeight == m_height
                     ? m_image.Grab(left, top, m_width, m_height, picture, m_rowBytes)
                     : GrabScaled(left, top, currentWidth, currentHeight, picture);
    if (result != 0)
        return -1;

    // the cursor, at its natural size at the scaled position
    int cx = 0, cy = 0;
    if (m_cursor.Read(&m_conn) == 0 &&
        CursorDrawPosition(m_cursor.x(), m_cursor.y(), m_cursor.hotX(), m_cursor.hotY(), left, top,
                           m_width, m_height, currentWidth, currentHeight, &cx, &cy))
        BlendCursor(picture, m_width, m_height, m_rowBytes, m_cursor.pixels(), m_cursor.width(),
                    m_cursor.height(), cx, cy);
    return 0;
}

int WindowGrabber::GrabScaled(int left, int top, int currentWidth, int currentHeight,
                              uint8_t* picture) {
    // Only the part on the screen is copied; the rest of the window is black.
    int x0 = std::max(left, 0), y0 = std::max(top, 0);
    int x1 = std::min(left + currentWidth, m_conn.screenWidth());
    int y1 = std::min(top + currentHeight, m_conn.screenHeight());
    int w = std::max(x1 - x0, 0), h = std::max(y1 - y0, 0);
    size_t bytes = (size_t)w * h * X11ScreenImage::BYTES_PER_PIXEL;
    if (m_scratch.size() < bytes)
        m_scratch.resize(bytes);
    int srcRowBytes = w * X11ScreenImage::BYTES_PER_PIXEL;
    if (w > 0 && h > 0 && m_image.Grab(x0, y0, w, h, m_scratch.data(), srcRowBytes) != 0)
        return -1;
    ScalePicture(m_scratch.data(), x0 - left, y0 - top, w, h, srcRowBytes, currentWidth, currentHeight,
                 picture, m_width, m_height, m_rowBytes);
    return 0;
}

void WindowGrabber::Close() {
    m_image.Close();
    m_conn.Close();
    m_window = 0;
    m_width = m_height = m_rowBytes = 0;
    m_bitsPerPixel = 0;
    std::vector<uint8_t>().swap(m_scratch);
}
