#include "capture/DesktopGrabber.h"

#include <cstdint>
#include <cstring>

#include "capture/PictureOps.h"
#include "os/OS_Log.h"

namespace {

// Where a lent picture goes back to: the segments find their own image.
class LentSegments : public MMUserMalloc {
public:
    void* Alloc(unsigned) override { return nullptr; }
    void Free(void* p) override { X11ScreenImage::GiveBack(p); }
};

MMUserMalloc& Lender() {
    // Never destroyed: a picture may come back while the process exits.
    static LentSegments* lender = new LentSegments;
    return *lender;
}

}  // namespace

DesktopGrabber::DesktopGrabber() : m_lends(false), m_x(0), m_y(0), m_width(0), m_height(0), m_bitsPerPixel(0) {}

DesktopGrabber::~DesktopGrabber() { Close(); }

int DesktopGrabber::Open(int x, int y, int width, int height) {
    Close();
    if (width <= 0 || height <= 0) {
        OS_Log::Error("[DesktopGrabber::Open] Error: the rectangle %d x %d has no area.\n", width, height);
        return -1;
    }
    if (m_conn.Open() != 0) {
        Close();
        return -1;
    }
    // A rectangle partly off the screen is copied, its outside made black.
    bool onScreen = x >= 0 && y >= 0 && x + width <= m_conn.screenWidth() && y + height <= m_conn.screenHeight();
    if (m_image.Open(&m_conn, width, height, X11ScreenImage::MODE_AUTO, onScreen ? LENT_PICTURES : 1) != 0) {
        Close();
        return -1;
    }
    m_lends = onScreen && m_image.usesShm();
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
    DrawCursor(picture, rows);
    return 0;
}

int DesktopGrabber::GrabLent(void** picture, MMUserMalloc** from) {
    uint8_t* lent = m_lends ? m_image.Lend() : nullptr;
    if (!lent)
        return -1;
    // a segment still holds an older picture, which a failed grab must not
    // pass off as new
    if (m_image.GrabInto(lent, m_x, m_y, m_width, m_height) == 0)
        DrawCursor(lent, m_height);
    else
        memset(lent, 0, (size_t)rowBytes() * m_height);
    *picture = lent;
    *from = &Lender();
    return 0;
}

void DesktopGrabber::DrawCursor(uint8_t* picture, int rows) {
    int cx = 0, cy = 0;
    if (m_cursor.Read(&m_conn) == 0 &&
        CursorDrawPosition(m_cursor.x(), m_cursor.y(), m_cursor.hotX(), m_cursor.hotY(), m_x, m_y,
                           m_width, m_height, m_width, m_height, &cx, &cy))
        BlendCursor(picture, m_width, rows, rowBytes(), m_cursor.pixels(), m_cursor.width(),
                    m_cursor.height(), cx, cy);
}

void DesktopGrabber::Close() {
    m_image.Close();
    m_conn.Close();
    m_lends = false;
    m_x = m_y = m_width = m_height = 0;
    m_bitsPerPixel = 0;
}
