#include "platform/x11/X11ScreenImage.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "os/OS_Log.h"
#include "platform/x11/X11Connection.h"

// The shared image and its segment. The XImage's obdata points at info, so
// both live and die together.
struct X11ScreenImage::Shm {
    XShmSegmentInfo info;
    XImage* image;
};

namespace {

// Rows of 32-bit pixels from the server into the picture. The fourth byte
// (padding at depth 24, alpha at depth 32) is copied as it comes: the
// converter ignores it.
void CopyPixelRows(const uint8_t* src, int srcRowBytes, uint8_t* dst, int dstRowBytes, int width,
                   int height) {
    size_t rowBytes = (size_t)width * 4;
    if (srcRowBytes == dstRowBytes && (size_t)srcRowBytes == rowBytes) {
        memcpy(dst, src, rowBytes * height);
        return;
    }
    for (int row = 0; row < height; ++row)
        memcpy(dst + (size_t)row * dstRowBytes, src + (size_t)row * srcRowBytes, rowBytes);
}

bool HostIsLittleEndian() {
    const uint16_t probe = 1;
    uint8_t first;
    memcpy(&first, &probe, 1);
    return first == 1;
}

// True when the root window's pixels are 32-bit words 0x??RRGGBB stored
// least significant byte first, that is blue, green, red, unused in memory.
bool ScreenIsBgrx(Display* display, int* depthOut) {
    int screen = DefaultScreen(display);
    int depth = DefaultDepth(display, screen);
    Visual* visual = DefaultVisual(display, screen);
    *depthOut = depth;
    if (depth != 24 && depth != 32)
        return false;
    int count = 0;
    int bitsPerPixel = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    for (int i = 0; i < count; ++i)
        if (formats[i].depth == depth)
            bitsPerPixel = formats[i].bits_per_pixel;
    if (formats)
        XFree(formats);
    return bitsPerPixel == 32 && visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 &&
           visual->blue_mask == 0xFF && ImageByteOrder(display) == LSBFirst && HostIsLittleEndian();
}

}  // namespace

X11ScreenImage::X11ScreenImage() : m_conn(nullptr), m_shm(nullptr), m_maxWidth(0), m_maxHeight(0) {}

X11ScreenImage::~X11ScreenImage() { Close(); }

int X11ScreenImage::Open(X11Connection* conn, int maxWidth, int maxHeight, Mode mode) {
    Close();
    if (!conn || !conn->IsOpen())
        return -1;
    int depth = 0;
    if (!ScreenIsBgrx(conn->display(), &depth)) {
        OS_Log::Error("[X11ScreenImage::Open] Error: screen depth %d is not supported "
                      "(only 24 or 32 bits, blue green red).\n", depth);
        return -1;
    }
    m_conn = conn;
    m_maxWidth = std::min(maxWidth, conn->screenWidth());
    m_maxHeight = std::min(maxHeight, conn->screenHeight());
    if (m_maxWidth <= 0 || m_maxHeight <= 0) {
        OS_Log::Error("[X11ScreenImage::Open] Error: empty capture size %d x %d.\n", maxWidth, maxHeight);
        Close();
        return -1;
    }
    if (mode == MODE_AUTO && conn->hasShm() && AttachShm(m_maxWidth, m_maxHeight) == 0)
        OS_Log::Info("X11 capture of %d x %d uses shared memory.\n", m_maxWidth, m_maxHeight);
    else
        OS_Log::Info("X11 capture of %d x %d uses XGetImage.\n", m_maxWidth, m_maxHeight);
    return 0;
}

// Creates the segment, lets the server attach it, then marks it for removal
// at once: it stays while attached, and a crash cannot leak it.
int X11ScreenImage::AttachShm(int width, int height) {
    Display* display = m_conn->display();
    int screen = DefaultScreen(display);
    Shm* shm = new Shm();
    shm->info.shmid = -1;
    shm->info.shmaddr = (char*)-1;
    shm->image = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                                 ZPixmap, nullptr, &shm->info, width, height);
    if (!shm->image) {
        OS_Log::Warning("[X11ScreenImage::AttachShm] Warning: XShmCreateImage failed.\n");
        delete shm;
        return -1;
    }
    m_shm = shm;
    shm->info.shmid = shmget(IPC_PRIVATE, (size_t)shm->image->bytes_per_line * height, IPC_CREAT | 0600);
    if (shm->info.shmid < 0) {
        OS_Log::Warning("[X11ScreenImage::AttachShm] Warning: shmget failed: %s.\n", strerror(errno));
        DetachShm();
        return -1;
    }
    shm->info.shmaddr = (char*)shmat(shm->info.shmid, nullptr, 0);
    if (shm->info.shmaddr == (char*)-1) {
        OS_Log::Warning("[X11ScreenImage::AttachShm] Warning: shmat failed: %s.\n", strerror(errno));
        DetachShm();
        return -1;
    }
    // The segment's pages made now rather than by the first grab, which
    // would otherwise miss its period on a large screen (8100 faults at
    // 3840 x 2160).
    memset(shm->info.shmaddr, 0, (size_t)shm->image->bytes_per_line * height);
    shm->image->data = shm->info.shmaddr;
    shm->info.readOnly = False;
    m_conn->TakeError();
    XShmAttach(display, &shm->info);
    if (m_conn->Sync() != 0) {
        // A remote server cannot reach our memory.
        OS_Log::Warning("[X11ScreenImage::AttachShm] Warning: the X server cannot attach shared memory.\n");
        OS_Log::Warning("[X11ScreenImage::AttachShm] X error: %s\n", m_conn->ErrorText());
        shm->info.shmseg = 0;
        DetachShm();
        return -1;
    }
    shmctl(shm->info.shmid, IPC_RMID, nullptr);
    // The server's first copy into the segment maps it on its side, which
    // on a large screen takes a few periods: done now, not in the first grab.
    GrabShared(0, 0, width, height);
    return 0;
}

void X11ScreenImage::DetachShm() {
    Shm* shm = m_shm;
    if (!shm)
        return;
    m_shm = nullptr;
    if (shm->info.shmseg && m_conn->IsOpen()) {
        XShmDetach(m_conn->display(), &shm->info);
        m_conn->Sync();
    }
    if (shm->info.shmaddr != (char*)-1)
        shmdt(shm->info.shmaddr);
    if (shm->info.shmid >= 0)
        shmctl(shm->info.shmid, IPC_RMID, nullptr);
    // The data is the segment, not Xlib's to free.
    shm->image->data = nullptr;
    XDestroyImage(shm->image);
    delete shm;
}

void X11ScreenImage::Close() {
    if (m_conn)
        DetachShm();
    m_conn = nullptr;
    m_maxWidth = m_maxHeight = 0;
}

int X11ScreenImage::shmId() const { return m_shm ? m_shm->info.shmid : -1; }

const uint8_t* X11ScreenImage::GrabShared(int x, int y, int width, int height) {
    if (!m_shm || width <= 0 || height <= 0 || width > m_maxWidth || height > m_maxHeight)
        return nullptr;
    // The server writes rows of width pixels packed one after another.
    m_shm->image->width = width;
    m_shm->image->height = height;
    m_shm->image->bytes_per_line = width * BYTES_PER_PIXEL;
    if (!XShmGetImage(m_conn->display(), m_conn->root(), m_shm->image, x, y, AllPlanes)) {
        m_conn->TakeError();
        return nullptr;
    }
    return (const uint8_t*)m_shm->image->data;
}

int X11ScreenImage::Grab(int x, int y, int width, int height, uint8_t* dst, int dstRowBytes) {
    if (!m_conn || width <= 0 || height <= 0)
        return -1;
    // The part of the rectangle that lies on the screen.
    int left = std::max(x, 0), top = std::max(y, 0);
    int right = std::min(x + width, m_conn->screenWidth());
    int bottom = std::min(y + height, m_conn->screenHeight());
    int w = right - left, h = bottom - top;
    if (w > m_maxWidth || h > m_maxHeight)
        return -1;
    bool clipped = w != width || h != height;

    const uint8_t* src = nullptr;
    int srcRowBytes = 0;
    XImage* image = nullptr;
    if (w > 0 && h > 0) {
        Display* display = m_conn->display();
        if (m_shm) {
            src = GrabShared(left, top, w, h);
            if (!src)
                return -1;
            srcRowBytes = w * BYTES_PER_PIXEL;
        } else {
            image = XGetImage(display, m_conn->root(), left, top, (unsigned)w, (unsigned)h, AllPlanes,
                              ZPixmap);
            if (!image) {
                m_conn->TakeError();
                return -1;
            }
            if (image->bits_per_pixel != BITS_PER_PIXEL) {
                XDestroyImage(image);
                return -1;
            }
            src = (const uint8_t*)image->data;
            srcRowBytes = image->bytes_per_line;
        }
    }

    if (clipped)
        for (int row = 0; row < height; ++row)
            memset(dst + (size_t)row * dstRowBytes, 0, (size_t)width * BYTES_PER_PIXEL);
    if (src) {
        uint8_t* at = dst + (size_t)(top - y) * dstRowBytes + (size_t)(left - x) * BYTES_PER_PIXEL;
        CopyPixelRows(src, srcRowBytes, at, dstRowBytes, w, h);
    }
    if (image)
        XDestroyImage(image);
    return 0;
}
