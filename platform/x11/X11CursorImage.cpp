#include "platform/x11/X11CursorImage.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include "platform/x11/X11Connection.h"

X11CursorImage::X11CursorImage() : m_x(0), m_y(0), m_hotX(0), m_hotY(0), m_width(0), m_height(0) {}

int X11CursorImage::Read(X11Connection* conn) {
    m_width = m_height = 0;
    if (!conn || !conn->IsOpen() || !conn->hasXFixes())
        return -1;
    XFixesCursorImage* image = XFixesGetCursorImage(conn->display());
    if (!image) {
        conn->TakeError();
        return -1;
    }
    size_t count = (size_t)image->width * image->height;
    if (m_pixels.size() < count)
        m_pixels.resize(count);
    // XFixes hands the 32-bit pixels in unsigned long, which is 64 bits
    // here: the colour is in the low 32 bits.
    for (size_t i = 0; i < count; ++i)
        m_pixels[i] = (uint32_t)(image->pixels[i] & 0xFFFFFFFFu);
    m_x = image->x;
    m_y = image->y;
    m_hotX = image->xhot;
    m_hotY = image->yhot;
    m_width = image->width;
    m_height = image->height;
    XFree(image);
    return 0;
}
