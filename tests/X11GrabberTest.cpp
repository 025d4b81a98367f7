// The desktop and window grabbers on a real X server: pixels and layout,
// shared memory and its fallback, the cursor rules, resized and vanished
// windows, refused screen depths.
#include <gtest/gtest.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>
#include <memory>
#include <vector>

#include "capture/DesktopGrabber.h"
#include "capture/ScreenSize.h"
#include "capture/WindowGrabber.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ScreenImage.h"
#include "platform/x11/X11WindowRect.h"
#include "tests/support/PrivateXServer.h"
#include "tests/support/ScopedDisplay.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11ScreenTest.h"
#include "tests/support/X11TestScreen.h"

namespace {

const uint32_t ROOT = 0x102030;
const uint32_t RED = 0xFF0000;
const uint32_t GREEN = 0x00FF00;
const uint32_t BLUE = 0x0000FF;

// The 32-bit pixel at (x, y) of a packed picture, the unused byte included,
// so a colour compares equal only when that byte is 0.
uint32_t PixelAt(const uint8_t* picture, int width, int x, int y) {
    uint32_t v;
    memcpy(&v, picture + ((size_t)y * width + x) * 4, 4);
    return v;
}

int CountPixels(const std::vector<uint8_t>& picture, uint32_t colour) {
    int n = 0;
    for (size_t i = 0; i + 4 <= picture.size(); i += 4)
        n += PixelAt(picture.data(), 1, (int)(i / 4), 0) == colour;
    return n;
}

class X11Grabber : public X11ScreenTest {
protected:
    void SetUp() override {
        X11ScreenTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_screen.FillRoot(ROOT);
        // A cursor away from every area the tests grab, until a test moves it.
        m_screen.SetCursor(6, GREEN, 2, 3);
        m_screen.MovePointer(m_screen.width() / 2, m_screen.height() - 1);
    }
};

}  // namespace

TEST_F(X11Grabber, DesktopPictureHasTheScreensPixelsInRowOrder) {
    unsigned long a = Window(100, 100, 200, 100, RED);
    m_screen.Fill(a, 100, 0, 100, 100, GREEN);  // right half of a
    Window(300, 100, 50, 50, BLUE);

    DesktopGrabber grabber;
    ASSERT_EQ(0, grabber.Open(90, 95, 300, 120));
    EXPECT_EQ(32, grabber.bitsPerPixel());
    EXPECT_TRUE(grabber.usesShm()) << "the local test server offers MIT-SHM";
    std::vector<uint8_t> picture(300 * 120 * 4, 0xEE);
    ASSERT_EQ(0, grabber.Grab(picture.data(), (int)picture.size()));

    const uint8_t* p = picture.data();
    EXPECT_EQ(ROOT, PixelAt(p, 300, 0, 0));
    EXPECT_EQ(ROOT, PixelAt(p, 300, 9, 5)) << "just left of a";
    EXPECT_EQ(RED, PixelAt(p, 300, 10, 5)) << "a's top-left corner";
    EXPECT_EQ(RED, PixelAt(p, 300, 109, 104));
    EXPECT_EQ(GREEN, PixelAt(p, 300, 110, 5));
    EXPECT_EQ(GREEN, PixelAt(p, 300, 209, 104)) << "a's bottom-right corner";
    EXPECT_EQ(ROOT, PixelAt(p, 300, 110, 105)) << "below a";
    EXPECT_EQ(BLUE, PixelAt(p, 300, 210, 5));
    EXPECT_EQ(BLUE, PixelAt(p, 300, 259, 54));
    EXPECT_EQ(ROOT, PixelAt(p, 300, 260, 54));
    EXPECT_EQ(ROOT, PixelAt(p, 300, 299, 119)) << "last pixel";
    for (size_t i = 3; i < picture.size(); i += 4)
        ASSERT_EQ(0, picture[i]) << "unused byte of pixel " << i / 4;
    grabber.Close();
    grabber.Close();
}

TEST_F(X11Grabber, SharedMemoryAndFallbackGiveTheSamePictureAndLeaveNoSegment) {
    Window(0, 0, 64, 64, RED);
    Window(32, 32, 64, 64, BLUE);
    X11Connection conn;
    ASSERT_EQ(0, conn.Open());
    X11ScreenImage shm, plain;
    ASSERT_EQ(0, shm.Open(&conn, 128, 128, X11ScreenImage::MODE_AUTO));
    ASSERT_EQ(0, plain.Open(&conn, 128, 128, X11ScreenImage::MODE_NO_SHM));
    ASSERT_TRUE(shm.usesShm());
    EXPECT_FALSE(plain.usesShm());

    // The segment is already marked for removal while in use.
    int id = shm.shmId();
    shmid_ds info;
    ASSERT_EQ(0, shmctl(id, IPC_STAT, &info));
    EXPECT_TRUE(info.shm_perm.mode & SHM_DEST);

    // Same pixels both ways, also for a smaller rectangle into padded rows.
    std::vector<uint8_t> a(128 * 128 * 4, 1), b(128 * 128 * 4, 2);
    ASSERT_EQ(0, shm.Grab(0, 0, 128, 128, a.data(), 128 * 4));
    ASSERT_EQ(0, plain.Grab(0, 0, 128, 128, b.data(), 128 * 4));
    EXPECT_EQ(a, b);
    EXPECT_EQ(BLUE, PixelAt(a.data(), 128, 40, 40));
    std::vector<uint8_t> c(50 * 200 * 4, 3), d(50 * 200 * 4, 3);
    ASSERT_EQ(0, shm.Grab(20, 10, 50, 40, c.data(), 200 * 4));
    ASSERT_EQ(0, plain.Grab(20, 10, 50, 40, d.data(), 200 * 4));
    EXPECT_EQ(c, d);
    EXPECT_EQ(3, c[50 * 4]) << "bytes between rows are left alone";
    EXPECT_EQ(RED, PixelAt(c.data(), 200, 0, 0));
    EXPECT_EQ(BLUE, PixelAt(c.data(), 200, 49, 39));

    shm.Close();
    EXPECT_NE(0, shmctl(id, IPC_STAT, &info)) << "the segment is gone after Close";
    plain.Close();
    conn.Close();
}

TEST_F(X11Grabber, RegionsReachingPastTheScreenAndShortBuffers) {
    int w = m_screen.width(), h = m_screen.height();
    DesktopGrabber grabber;
    ASSERT_EQ(0, grabber.Open(w - 50, h - 20, 100, 40));
    std::vector<uint8_t> picture(100 * 40 * 4, 0xEE);
    ASSERT_EQ(0, grabber.Grab(picture.data(), (int)picture.size()));
    EXPECT_EQ(ROOT, PixelAt(picture.data(), 100, 49, 19));
    EXPECT_EQ(0u, PixelAt(picture.data(), 100, 50, 19)) << "off the screen: black";
    EXPECT_EQ(0u, PixelAt(picture.data(), 100, 49, 20));
    EXPECT_EQ(0u, PixelAt(picture.data(), 100, 99, 39));
    grabber.Close();

    // A buffer of 3 rows and a bit: only the 3 rows are written.
    ASSERT_EQ(0, grabber.Open(10, 10, 100, 40));
    int size = 3 * 400 + 10;
    std::vector<uint8_t> shortBuffer(size + 64, 0xEE);
    ASSERT_EQ(0, grabber.Grab(shortBuffer.data(), size));
    EXPECT_EQ(ROOT, PixelAt(shortBuffer.data(), 100, 99, 2));
    for (size_t i = 3 * 400; i < shortBuffer.size(); ++i)
        ASSERT_EQ(0xEE, shortBuffer[i]) << "byte " << i << " written past the rows that fit";
}

TEST_F(X11Grabber, CursorIsDrawnFromPositionOneAndClippedAtTheFarEdges) {
    // Cursor 6 x 6 with hot spot (2, 3); picture of (200, 200, 100, 80).
    const int W = 100, H = 80;
    DesktopGrabber grabber;
    ASSERT_EQ(0, grabber.Open(200, 200, W, H));
    std::vector<uint8_t> picture(W * H * 4);
    auto grabAt = [&](int x, int y) {
        m_screen.MovePointer(x, y);
        std::fill(picture.begin(), picture.end(), 0xEE);
        EXPECT_EQ(0, grabber.Grab(picture.data(), (int)picture.size()));
    };

    grabAt(200 + 2, 200 + 3);
    EXPECT_EQ(0, CountPixels(picture, GREEN)) << "drawing position 0 is left out";
    grabAt(200 + 2 + 1, 200 + 3);
    EXPECT_EQ(0, CountPixels(picture, GREEN)) << "first row is left out";

    grabAt(200 + 2 + 1, 200 + 3 + 1);
    EXPECT_EQ(36, CountPixels(picture, GREEN)) << "position 1: the whole cursor";
    EXPECT_EQ(GREEN, PixelAt(picture.data(), W, 1, 1)) << "the hot spot is honoured";
    EXPECT_EQ(GREEN, PixelAt(picture.data(), W, 6, 6));
    EXPECT_EQ(ROOT, PixelAt(picture.data(), W, 0, 0));
    EXPECT_EQ(ROOT, PixelAt(picture.data(), W, 7, 7));

    grabAt(200 + 2 + W - 2, 200 + 3 + H - 1);
    EXPECT_EQ(2, CountPixels(picture, GREEN)) << "cut at the right and bottom edges";
    EXPECT_EQ(GREEN, PixelAt(picture.data(), W, W - 1, H - 1));

    grabAt(200 + 2 + W, 200 + 3 + 10);
    EXPECT_EQ(0, CountPixels(picture, GREEN)) << "position equal to the width is outside";
}

TEST_F(X11Grabber, WindowPictureFollowsTheWindowAndKeepsItsSize) {
    unsigned long w = Window(400, 300, 120, 80, RED);
    m_screen.Fill(w, 60, 0, 60, 80, BLUE);
    WindowGrabber grabber;
    ASSERT_EQ(0, grabber.Open(w));
    ASSERT_EQ(120, grabber.width());
    ASSERT_EQ(80, grabber.height());
    ASSERT_EQ(120 * 4, grabber.rowBytes());
    ASSERT_EQ(32, grabber.bitsPerPixel());
    std::vector<uint8_t> picture(120 * 80 * 4);
    ASSERT_EQ(0, grabber.Grab(picture.data(), (int)picture.size()));
    EXPECT_EQ(RED, PixelAt(picture.data(), 120, 0, 0));
    EXPECT_EQ(RED, PixelAt(picture.data(), 120, 59, 79));
    EXPECT_EQ(BLUE, PixelAt(picture.data(), 120, 60, 0));
    EXPECT_EQ(BLUE, PixelAt(picture.data(), 120, 119, 79));

    // Moved half off the right edge: what is off the screen is black.
    m_screen.MoveResize(w, m_screen.width() - 30, 500, 120, 80);
    m_screen.Fill(w, 0, 0, 120, 80, GREEN);
    ASSERT_EQ(0, grabber.Grab(picture.data(), (int)picture.size()));
    EXPECT_EQ(GREEN, PixelAt(picture.data(), 120, 29, 40));
    EXPECT_EQ(0u, PixelAt(picture.data(), 120, 30, 40));

    EXPECT_EQ(-1, grabber.Grab(picture.data(), (int)picture.size() - 1)) << "buffer too small";
}

TEST_F(X11Grabber, WindowGrownToTwiceItsWidthIsScaledBack) {
    unsigned long w = Window(300, 300, 100, 60, RED);
    m_screen.SetCursor(4, GREEN, 0, 0);
    WindowGrabber grabber;
    ASSERT_EQ(0, grabber.Open(w));
    m_screen.MoveResize(w, 300, 300, 200, 60);
    m_screen.Fill(w, 0, 0, 100, 60, RED);
    m_screen.Fill(w, 100, 0, 100, 60, BLUE);
    m_screen.MovePointer(300 + 101, 300 + 30);

    std::vector<uint8_t> picture(100 * 60 * 4);
    ASSERT_EQ(0, grabber.Grab(picture.data(), (int)picture.size()));
    EXPECT_EQ(RED, PixelAt(picture.data(), 100, 0, 0));
    EXPECT_EQ(RED, PixelAt(picture.data(), 100, 49, 59));
    EXPECT_EQ(BLUE, PixelAt(picture.data(), 100, 99, 0));
    // Pointer at 101 in the wide window: the cursor at 50, at its own size.
    EXPECT_EQ(16, CountPixels(picture, GREEN));
    EXPECT_EQ(GREEN, PixelAt(picture.data(), 100, 50, 30));
    EXPECT_EQ(GREEN, PixelAt(picture.data(), 100, 53, 33));
    EXPECT_EQ(BLUE, PixelAt(picture.data(), 100, 54, 30));
}

TEST_F(X11Grabber, VanishedWindowGivesMinusOneAndTheProcessGoesOn) {
    unsigned long w = m_screen.CreateWindow(50, 50, 40, 30, RED);
    WindowGrabber grabber;
    ASSERT_EQ(0, grabber.Open(w));
    m_screen.Destroy(w);
    std::vector<uint8_t> picture(40 * 30 * 4, 0xAB);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(-1, grabber.Grab(picture.data(), (int)picture.size()));
    EXPECT_EQ(std::vector<uint8_t>(40 * 30 * 4, 0xAB), picture) << "buffer left untouched";
    grabber.Close();

    EXPECT_EQ(-1, grabber.Open(w)) << "a window that is gone";
    EXPECT_EQ(-1, grabber.Open(0)) << "no window";
    EXPECT_EQ(0, grabber.width());
    DesktopGrabber desktop;
    EXPECT_EQ(-1, desktop.Open(0, 0, 0, 10)) << "no area";
}

TEST_F(X11Grabber, ErrorsOfOurConnectionsStayOursAndOthersReachTheirHandler) {
    // A toolkit's handler, put in place after ours (as Qt does at start).
    X11TestScreen::TrapErrors();
    X11Connection conn;
    ASSERT_EQ(0, conn.Open());
    int before = X11TestScreen::ErrorsTrapped();
    int left, top, width, height;
    EXPECT_EQ(-1, X11GetWindowRect(&conn, 0x7FFFFFF, &left, &top, &width, &height));
    EXPECT_EQ(0, width);
    EXPECT_EQ(0, conn.Sync()) << "the error was taken by the failing call";
    EXPECT_EQ(before, X11TestScreen::ErrorsTrapped()) << "our errors are not passed on";
    m_screen.ProvokeError();
    EXPECT_EQ(before + 1, X11TestScreen::ErrorsTrapped()) << "others' errors reach their handler";
}

TEST_F(X11Grabber, ScreenSizeIsTheRootWindowsSize) {
    int width = -1, height = -1;
    GetScreenSize(&width, &height);
    EXPECT_EQ(m_screen.width(), width);
    EXPECT_EQ(m_screen.height(), height);
}

TEST(X11ScreenDepth, SixteenBitScreensAreRefused) {
    REQUIRE_DISPLAY();
    PrivateXServer server;
    ASSERT_TRUE(server.Start("320x240x16"));
    ScopedDisplay display(server.display());
    DesktopGrabber desktop;
    EXPECT_EQ(-1, desktop.Open(0, 0, 100, 100));
    EXPECT_EQ(0, desktop.bitsPerPixel());
    X11TestScreen screen;
    ASSERT_TRUE(screen.Open());
    unsigned long w = screen.CreateWindow(10, 10, 50, 50, 0);
    WindowGrabber window;
    EXPECT_EQ(-1, window.Open(w));
}
