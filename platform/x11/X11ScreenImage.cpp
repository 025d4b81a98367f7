#include "platform/x11/X11ScreenImage.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>
#include <cerrno>
#include <cstring>

#include "os/OS_Log.h"
#include "os/OS_Memory.h"
#include "platform/x11/X11Connection.h"

// One shared image and its segment. The XImage's obdata points at info, so
// both live and die together. A lent picture is the segment's start.
struct X11ScreenImage::Segment {
    XShmSegmentInfo info;
    XImage* image;  // null once detached
    Shm* shm;
    std::atomic<bool> lent;
    size_t bytes;   // of the whole segment
    ShmSeg kept;    // see SpareSegment
};

// The segments of one Open. They stay mapped while any of them is lent out,
// so a picture still on its way to the encoder survives Close.
struct X11ScreenImage::Shm {
    std::atomic<int> holders;  // the open image, plus one per lent segment
    int count;
    Segment* segments;
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

// Segments made before a recording (Prepare), and those of closed images
// kept for the next: made once, their pages are written once. Fresh pages
// cost a fault each at the first write, under a hypervisor that backs
// memory lazily some 25 us, so about 200 ms for a 3840 x 2160 picture.
struct SpareSegment {
    int shmid;
    char* address;
    size_t bytes;
    ShmSeg kept;  // its attachment on the keeper (below), or 0
};
const size_t MAX_SPARES = 4;
std::mutex g_sparesLock;  // guards the two below
std::vector<SpareSegment> g_spares;
bool g_keepSpares = false;  // set by the first Prepare
// Prepare's own connection, kept open: the server keeps one mapping per
// segment for all its clients while any has it attached, so the pages it
// maps for Prepare's copy are mapped already when a grabber attaches the
// segment. Mapping them costs the server about as much as making them costs
// us, some 30 ms at 1920 x 1080 under a hypervisor. Never closed. Its own
// lock, taken after g_sparesLock when both are, keeps it to one thread and
// the spares free while it waits on the server.
std::mutex g_keeperLock;
X11Connection* g_keeper = nullptr;

// The segments of open or lent images by picture address, for GiveBack.
// Kept in our own memory: any X client may write into a segment.
std::mutex g_segmentsLock;
std::vector<std::pair<const void*, void*>> g_segments;  // picture, its Segment

// Wraps the segment in info, whose shmid and shmaddr are set, in a shared
// image of width x height and has conn's server attach it. Null (logged
// when the server cannot reach our memory, as a remote one cannot).
XImage* AttachImage(X11Connection* conn, XShmSegmentInfo* info, int width, int height) {
    Display* display = conn->display();
    int screen = DefaultScreen(display);
    XImage* image = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap,
                                    info->shmaddr, info, width, height);
    if (!image) {
        OS_Log::Warning("[X11ScreenImage::AttachShm] Warning: XShmCreateImage failed.\n");
        return nullptr;
    }
    info->readOnly = False;
    conn->TakeError();
    XShmAttach(display, info);
    if (conn->Sync() != 0) {
        OS_Log::Warning("[X11ScreenImage::AttachShm] Warning: the X server cannot attach shared memory.\n");
        OS_Log::Warning("[X11ScreenImage::AttachShm] X error: %s\n", conn->ErrorText());
        info->shmseg = 0;
        image->data = nullptr;
        XDestroyImage(image);
        return nullptr;
    }
    return image;
}

// A segment of at least bytes, written through, already marked for removal
// (Linux lets the server attach it still; a crash cannot leak it). false
// (logged) when the system refuses.
bool MakeSegment(size_t bytes, SpareSegment* made) {
    made->shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (made->shmid < 0) {
        OS_Log::Warning("[X11ScreenImage::Prepare] Warning: shmget failed: %s.\n", strerror(errno));
        return false;
    }
    made->kept = 0;
    made->address = (char*)shmat(made->shmid, nullptr, 0);
    shmctl(made->shmid, IPC_RMID, nullptr);
    if (made->address == (char*)-1) {
        OS_Log::Warning("[X11ScreenImage::Prepare] Warning: shmat failed: %s.\n", strerror(errno));
        return false;
    }
    // Written, not only mapped: a mapped page still faults at its first write.
    OS_WritePages(made->address, bytes);
    made->bytes = bytes;
    return true;
}

// A spare of at least bytes, or a new segment.
bool TakeSegment(size_t bytes, SpareSegment* taken) {
    {
        std::lock_guard<std::mutex> guard(g_sparesLock);
        for (size_t i = 0; i < g_spares.size(); ++i)
            if (g_spares[i].bytes >= bytes) {
                *taken = g_spares[i];
                g_spares.erase(g_spares.begin() + (long)i);
                return true;
            }
    }
    return MakeSegment(bytes, taken);
}

// Unmaps a segment, on the keeper's side too.
void DropSegment(const SpareSegment& segment) {
    if (segment.kept) {
        std::lock_guard<std::mutex> guard(g_keeperLock);
        XShmSegmentInfo info;
        info.shmseg = segment.kept;
        XShmDetach(g_keeper->display(), &info);
        XSync(g_keeper->display(), False);
    }
    shmdt(segment.address);
}

// Kept for the next image when Prepare asked for it, else unmapped.
void PutSegment(const SpareSegment& segment) {
    std::lock_guard<std::mutex> guard(g_sparesLock);
    if (g_keepSpares && g_spares.size() < MAX_SPARES)
        g_spares.push_back(segment);
    else
        DropSegment(segment);
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

int X11ScreenImage::Open(X11Connection* conn, int maxWidth, int maxHeight, Mode mode, int segments) {
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
    if (mode == MODE_AUTO && conn->hasShm() && AttachShm(m_maxWidth, m_maxHeight, std::max(segments, 1)) == 0)
        OS_Log::Info("X11 capture of %d x %d uses shared memory.\n", m_maxWidth, m_maxHeight);
    else
        OS_Log::Info("X11 capture of %d x %d uses XGetImage.\n", m_maxWidth, m_maxHeight);
    return 0;
}

int X11ScreenImage::AttachShm(int width, int height, int segments) {
    Shm* shm = new Shm();
    shm->holders = 1;
    shm->count = segments;
    shm->segments = new Segment[segments];
    for (int i = 0; i < segments; ++i) {
        Segment& segment = shm->segments[i];
        segment.info.shmid = -1;
        segment.info.shmaddr = (char*)-1;
        segment.info.shmseg = 0;
        segment.image = nullptr;
        segment.shm = shm;
        segment.lent = false;
        segment.bytes = 0;
        segment.kept = 0;
    }
    m_shm = shm;
    for (int i = 0; i < segments; ++i)
        if (AttachSegment(&shm->segments[i], width, height) != 0) {
            DetachShm();
            return -1;
        }
    return 0;
}

// Takes a segment, made beforehand or now, and lets the server attach it.
int X11ScreenImage::AttachSegment(Segment* segment, int width, int height) {
    SpareSegment taken;
    if (!TakeSegment((size_t)width * BYTES_PER_PIXEL * height, &taken))
        return -1;
    segment->info.shmid = taken.shmid;
    segment->info.shmaddr = taken.address;
    segment->bytes = taken.bytes;
    segment->kept = taken.kept;
    {
        std::lock_guard<std::mutex> guard(g_segmentsLock);
        g_segments.emplace_back(taken.address, segment);
    }
    // The server's first copy into a segment maps its pages on the server's
    // side, some 30 ms at 1920 x 1080 under a hypervisor. Left to the first
    // grab into it: there it fits in the grab's period at 1920 x 1080, and
    // at larger sizes it costs the same periods as doing it here, where it
    // would delay the first picture of the recording.
    segment->image = AttachImage(m_conn, &segment->info, width, height);
    return segment->image ? 0 : -1;
}

// Owner's thread: the server lets go of every segment; the memory goes with
// the last holder.
void X11ScreenImage::DetachShm() {
    Shm* shm = m_shm;
    if (!shm)
        return;
    m_shm = nullptr;
    bool attached = false;
    for (int i = 0; i < shm->count; ++i) {
        Segment& segment = shm->segments[i];
        if (segment.info.shmseg && m_conn->IsOpen()) {
            XShmDetach(m_conn->display(), &segment.info);
            attached = true;
        }
        if (segment.image) {
            // The data is the segment, not Xlib's to free.
            segment.image->data = nullptr;
            XDestroyImage(segment.image);
            segment.image = nullptr;
        }
    }
    if (attached)
        m_conn->Sync();
    Release(shm);
}

void X11ScreenImage::Release(Shm* shm) {
    if (shm->holders.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    for (int i = 0; i < shm->count; ++i) {
        Segment& segment = shm->segments[i];
        if (segment.info.shmaddr == (char*)-1)
            continue;
        {
            std::lock_guard<std::mutex> guard(g_segmentsLock);
            g_segments.erase(std::find(g_segments.begin(), g_segments.end(),
                                       std::make_pair((const void*)segment.info.shmaddr, (void*)&segment)));
        }
        PutSegment({segment.info.shmid, segment.info.shmaddr, segment.bytes, segment.kept});
    }
    delete[] shm->segments;
    delete shm;
}

// Attaches a spare on the keeper and has the server copy the screen into it
// once. Nothing is lost when it cannot: a grab maps the pages instead.
static void KeepMapped(SpareSegment& spare, int width, int height) {
    std::lock_guard<std::mutex> guard(g_keeperLock);
    XShmSegmentInfo info;
    info.shmid = spare.shmid;
    info.shmaddr = spare.address;
    XImage* image = AttachImage(g_keeper, &info, width, height);
    if (!image)
        return;
    spare.kept = info.shmseg;
    if (!XShmGetImage(g_keeper->display(), g_keeper->root(), image, 0, 0, AllPlanes))
        g_keeper->TakeError();
    image->data = nullptr;
    XDestroyImage(image);
}

int X11ScreenImage::Prepare(int width, int height, int segments) {
    if (!g_keeper) {
        g_keeper = new X11Connection;
        if (g_keeper->Open() != 0 || !g_keeper->hasShm())
            g_keeper->Close();
    }
    width = std::min(width, g_keeper->IsOpen() ? g_keeper->screenWidth() : width);
    height = std::min(height, g_keeper->IsOpen() ? g_keeper->screenHeight() : height);
    size_t bytes = (size_t)width * BYTES_PER_PIXEL * height;
    {
        // spares for a smaller screen give way
        std::lock_guard<std::mutex> guard(g_sparesLock);
        g_keepSpares = true;
        for (size_t i = g_spares.size(); i-- > 0;)
            if (g_spares[i].bytes < bytes) {
                DropSegment(g_spares[i]);
                g_spares.erase(g_spares.begin() + (long)i);
            }
        segments -= (int)g_spares.size();
    }
    for (; segments > 0; --segments) {
        SpareSegment segment;
        if (!MakeSegment(bytes, &segment))
            return -1;
        if (g_keeper->IsOpen())
            KeepMapped(segment, width, height);
        std::lock_guard<std::mutex> guard(g_sparesLock);
        if (g_spares.size() < MAX_SPARES)
            g_spares.push_back(segment);
        else
            DropSegment(segment);
    }
    return 0;
}

void X11ScreenImage::Close() {
    if (m_conn)
        DetachShm();
    m_conn = nullptr;
    m_maxWidth = m_maxHeight = 0;
}

int X11ScreenImage::shmId() const { return m_shm ? m_shm->segments[0].info.shmid : -1; }

bool X11ScreenImage::Fits(int width, int height) const {
    return width > 0 && height > 0 && width <= m_maxWidth && height <= m_maxHeight;
}

uint8_t* X11ScreenImage::Lend() {
    if (!m_shm)
        return nullptr;
    for (int i = 0; i < m_shm->count; ++i) {
        Segment& segment = m_shm->segments[i];
        if (!segment.lent.load(std::memory_order_relaxed) && !segment.lent.exchange(true, std::memory_order_acquire)) {
            m_shm->holders.fetch_add(1, std::memory_order_relaxed);
            return (uint8_t*)segment.info.shmaddr;
        }
    }
    return nullptr;
}

void X11ScreenImage::GiveBack(void* lent) {
    if (!lent)
        return;
    Segment* segment = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_segmentsLock);
        for (const auto& known : g_segments)
            if (known.first == lent)
                segment = (Segment*)known.second;
    }
    if (!segment)
        return;
    Shm* shm = segment->shm;
    segment->lent.store(false, std::memory_order_release);
    Release(shm);
}

int X11ScreenImage::GrabInto(uint8_t* lent, int x, int y, int width, int height) {
    if (!m_shm || !lent || !Fits(width, height))
        return -1;
    XImage* image = nullptr;
    for (int i = 0; i < m_shm->count; ++i)
        if (m_shm->segments[i].info.shmaddr == (char*)lent)
            image = m_shm->segments[i].image;
    if (!image)
        return -1;
    // The server writes rows of width pixels packed one after another.
    image->width = width;
    image->height = height;
    image->bytes_per_line = width * BYTES_PER_PIXEL;
    if (!XShmGetImage(m_conn->display(), m_conn->root(), image, x, y, AllPlanes)) {
        m_conn->TakeError();
        return -1;
    }
    return 0;
}

const uint8_t* X11ScreenImage::GrabShared(int x, int y, int width, int height) {
    // Any segment not lent out; the picture stays until the next grab or lend.
    uint8_t* pixels = Lend();
    if (!pixels)
        return nullptr;
    int rc = GrabInto(pixels, x, y, width, height);
    GiveBack(pixels);
    return rc == 0 ? pixels : nullptr;
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
