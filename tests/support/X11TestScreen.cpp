#include "tests/support/X11TestScreen.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

#include <unistd.h>

#include <atomic>

#include "tests/support/FramePool.h"
#include "tests/support/TestEnv.h"

namespace {

std::atomic<int> errorsTrapped{0};

int CountError(Display*, XErrorEvent*) {
    ++errorsTrapped;
    return 0;
}

}  // namespace

X11TestScreen::X11TestScreen() : m_display(nullptr), m_width(0), m_height(0), m_cursor(0) {}

X11TestScreen::~X11TestScreen() {
    if (!m_display)
        return;
    for (unsigned long name : m_monitors)
        XRRDeleteMonitor(m_display, DefaultRootWindow(m_display), name);
    XCloseDisplay(m_display);
}

bool X11TestScreen::Open(const char* displayName) {
    // A server resetting after its last client left refuses connections a moment: try for a second.
    for (int i = 0; i < 50 && !m_display; ++i)
        if (!(m_display = XOpenDisplay(displayName)))
            usleep(20000);
    if (!m_display)
        return false;
    m_width = DisplayWidth(m_display, DefaultScreen(m_display));
    m_height = DisplayHeight(m_display, DefaultScreen(m_display));
    return true;
}

void X11TestScreen::Sync() { XSync(m_display, False); }

unsigned long X11TestScreen::CreateWindow(int x, int y, int width, int height, uint32_t rgb) {
    XSetWindowAttributes attributes = {};
    attributes.override_redirect = True;  // no window manager may move it
    attributes.background_pixel = rgb;
    Window window = XCreateWindow(m_display, DefaultRootWindow(m_display), x, y, (unsigned)width,
                                  (unsigned)height, 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(m_display, window);
    Sync();
    return window;
}

void X11TestScreen::Fill(unsigned long window, int x, int y, int width, int height, uint32_t rgb) {
    GC gc = XCreateGC(m_display, window, 0, nullptr);
    XSetForeground(m_display, gc, rgb);
    XFillRectangle(m_display, window, gc, x, y, (unsigned)width, (unsigned)height);
    XFreeGC(m_display, gc);
    Sync();
}

void X11TestScreen::MoveResize(unsigned long window, int x, int y, int width, int height) {
    XMoveResizeWindow(m_display, window, x, y, (unsigned)width, (unsigned)height);
    Sync();
}

void X11TestScreen::Destroy(unsigned long window) {
    XDestroyWindow(m_display, window);
    Sync();
}

void X11TestScreen::FillRoot(uint32_t rgb) {
    XSetWindowBackground(m_display, DefaultRootWindow(m_display), rgb);
    XClearWindow(m_display, DefaultRootWindow(m_display));
    Sync();
}

void X11TestScreen::SetCursor(int size, uint32_t rgb, int hotX, int hotY) {
    Window root = DefaultRootWindow(m_display);
    Pixmap bits = XCreatePixmap(m_display, root, (unsigned)size, (unsigned)size, 1);
    GC gc = XCreateGC(m_display, bits, 0, nullptr);
    XSetForeground(m_display, gc, 1);
    XFillRectangle(m_display, bits, gc, 0, 0, (unsigned)size, (unsigned)size);
    XFreeGC(m_display, gc);
    XColor colour = {0, (unsigned short)((rgb >> 16 & 0xFF) * 257), (unsigned short)((rgb >> 8 & 0xFF) * 257),
                     (unsigned short)((rgb & 0xFF) * 257), DoRed | DoGreen | DoBlue, 0};
    // Source and mask all set: every pixel is the foreground colour, opaque.
    Cursor cursor = XCreatePixmapCursor(m_display, bits, bits, &colour, &colour, (unsigned)hotX, (unsigned)hotY);
    XFreePixmap(m_display, bits);
    XDefineCursor(m_display, root, cursor);
    if (m_cursor)
        XFreeCursor(m_display, m_cursor);
    m_cursor = cursor;
    Sync();
}

void X11TestScreen::MovePointer(int x, int y) {
    XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
    Sync();
}

void X11TestScreen::SetMonitor(const char* name, int x, int y, int width, int height, bool primary) {
    XRRMonitorInfo* monitor = XRRAllocateMonitor(m_display, 0);
    monitor->name = XInternAtom(m_display, name, False);
    monitor->primary = primary;
    monitor->x = x;
    monitor->y = y;
    monitor->width = width;
    monitor->height = height;
    monitor->mwidth = width / 4;  // about 100 dots per inch
    monitor->mheight = height / 4;
    XRRSetMonitor(m_display, DefaultRootWindow(m_display), monitor);
    m_monitors.push_back(monitor->name);
    XRRFreeMonitors(monitor);
    Sync();
}

void X11TestScreen::TrapErrors() { XSetErrorHandler(&CountError); }

int X11TestScreen::ErrorsTrapped() { return errorsTrapped; }

void X11TestScreen::ProvokeError() {
    Window root;
    int x, y;
    unsigned w, h, border, depth;
    XGetGeometry(m_display, 0x7FFFFFF, &root, &x, &y, &w, &h, &border, &depth);
    Sync();
}

void X11ScreenTest::SetUp() {
    REQUIRE_DISPLAY();
    InitFramePool();
    ASSERT_TRUE(m_screen.Open());
    m_screen.MovePointer(m_screen.width() - 1, m_screen.height() - 1);
}

void X11ScreenTest::TearDown() {
    for (unsigned long w : m_windows)
        m_screen.Destroy(w);
    m_windows.clear();
}

unsigned long X11ScreenTest::Window(int x, int y, int width, int height, uint32_t rgb) {
    unsigned long w = m_screen.CreateWindow(x, y, width, height, rgb);
    m_windows.push_back(w);
    return w;
}
