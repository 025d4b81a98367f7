// The desktop and window grabbers on a real X server.
#include <gtest/gtest.h>

#include <sys/shm.h>

#include <algorithm>
#include <thread>
#include <tuple>
#include <vector>

#include "capture/DesktopGrabber.h"
#include "capture/WindowGrabber.h"
#include "capture/WindowTree.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ScreenImage.h"
#include "tests/support/PrivateXServer.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11TestScreen.h"

namespace {

const uint32_t ROOT = 0x102030, RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF;

using Pixels = std::vector<std::tuple<int, int, uint32_t>>;  // x, y, colour

// Packed pixels, 0xEEEEEEEE until grabbed into; a colour matches only when the unused byte is 0.
struct Picture {
    int width;
    std::vector<uint32_t> px;
    Picture(int w, int h) : width(w), px((size_t)w * h, 0xEEEEEEEE) {}
    uint32_t At(int x, int y) const { return px[(size_t)y * width + x]; }
    int Count(uint32_t colour) const { return (int)std::count(px.begin(), px.end(), colour); }
    uint8_t* Data() { return (uint8_t*)px.data(); }
    template <class Grabber> int GrabFrom(Grabber& g) { return g.Grab(px.data(), (int)px.size() * 4); }
    void Expect(const Pixels& expected) const {
        for (auto [x, y, colour] : expected)
            EXPECT_EQ(colour, At(x, y)) << "pixel (" << x << ", " << y << ")";
    }
};

// A toolkit's error handler, put in place at start as Qt does, before any connection of ours.
const bool g_toolkitHandler = (X11TestScreen::TrapErrors(), true);

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

TEST_F(X11Grabber, DesktopPicturesHaveTheScreensPixelsAndCursorAndStayInsideTheBuffer) {
    unsigned long a = Window(100, 100, 200, 100, RED);
    m_screen.Fill(a, 100, 0, 100, 100, GREEN);  // right half of a
    Window(300, 100, 50, 50, BLUE);
    DesktopGrabber grabber;
    ASSERT_EQ(0, grabber.Open(90, 95, 300, 120));
    Picture p(300, 120);
    ASSERT_EQ(0, p.GrabFrom(grabber));
    p.Expect({{0, 0, ROOT}, {9, 5, ROOT}, {10, 5, RED}, {109, 104, RED}, {110, 5, GREEN}, {209, 104, GREEN},
              {110, 105, ROOT}, {210, 5, BLUE}, {259, 54, BLUE}, {260, 54, ROOT}, {299, 119, ROOT}});
    EXPECT_EQ(0, std::count_if(p.px.begin(), p.px.end(), [](uint32_t v) { return v >> 24; })) << "unused byte";
    grabber.Close();
    grabber.Close();
    // Reaching past the bottom-right corner: what is off the screen is black.
    int w = m_screen.width(), h = m_screen.height();
    ASSERT_EQ(0, grabber.Open(w - 50, h - 20, 100, 40));
    Picture edge(100, 40);
    ASSERT_EQ(0, edge.GrabFrom(grabber));
    edge.Expect({{49, 19, ROOT}, {50, 19, 0}, {49, 20, 0}, {99, 39, 0}});
    // A buffer of 3 rows and a bit: only the 3 rows are written.
    ASSERT_EQ(0, grabber.Open(10, 10, 100, 40));
    Picture small(100, 4);
    ASSERT_EQ(0, grabber.Grab(small.Data(), 3 * 400 + 10));
    EXPECT_EQ(ROOT, small.At(99, 2));
    EXPECT_EQ(100, small.Count(0xEEEEEEEE)) << "written past the rows that fit";
    EXPECT_EQ(-1, grabber.Open(0, 0, 0, 10)) << "no area";
    // The cursor (6 x 6, hot spot (2, 3)) is drawn from position 1 and clipped at the far edges.
    const int W = 100, H = 80;
    ASSERT_EQ(0, grabber.Open(200, 200, W, H));
    struct Case { int x, y, greenPixels; const char* why; Pixels pixels; } cases[] = {
        {1, 0, 0, "first row is left out", {}},
        {0, 1, 0, "first column is left out", {}},
        {1, 1, 36, "position 1: the whole cursor, hot spot honoured",
         {{1, 1, GREEN}, {6, 6, GREEN}, {0, 0, ROOT}, {7, 7, ROOT}}},
        {W - 2, H - 1, 2, "cut at the right and bottom edges", {{W - 1, H - 1, GREEN}}},
    };
    for (const Case& c : cases) {
        m_screen.MovePointer(200 + 2 + c.x, 200 + 3 + c.y);  // less the hot spot: drawing position
        Picture shot(W, H);
        ASSERT_EQ(0, shot.GrabFrom(grabber));
        EXPECT_EQ(c.greenPixels, shot.Count(GREEN)) << c.why;
        shot.Expect(c.pixels);
    }
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
    int id = shm.shmId();
    shmid_ds info;
    ASSERT_EQ(0, shmctl(id, IPC_STAT, &info));
    EXPECT_TRUE(info.shm_perm.mode & SHM_DEST) << "marked for removal while in use";
    // Same pixels both ways, for a smaller rectangle into padded rows.
    Picture c(200, 50), d(200, 50);
    ASSERT_EQ(0, shm.Grab(20, 10, 50, 40, c.Data(), 200 * 4));
    ASSERT_EQ(0, plain.Grab(20, 10, 50, 40, d.Data(), 200 * 4));
    EXPECT_EQ(c.px, d.px);
    c.Expect({{0, 0, RED}, {49, 39, BLUE}, {50, 0, 0xEEEEEEEE}});  // padding left alone

    shm.Close();
    EXPECT_NE(0, shmctl(id, IPC_STAT, &info)) << "the segment is gone after Close";
}

TEST_F(X11Grabber, WindowPicturesKeepTheOpenSizeAndAVanishedWindowGivesMinusOne) {
    unsigned long w = Window(300, 300, 100, 60, RED);
    m_screen.Fill(w, 50, 0, 50, 60, BLUE);
    WindowGrabber grabber;
    ASSERT_EQ(0, grabber.Open(w));
    Picture p(100, 60);
    ASSERT_EQ(0, p.GrabFrom(grabber));
    p.Expect({{0, 0, RED}, {49, 59, RED}, {50, 0, BLUE}, {99, 59, BLUE}});
    EXPECT_EQ(-1, grabber.Grab(p.Data(), (int)p.px.size() * 4 - 1)) << "buffer too small";
    // Twice as wide, pointer at 101 in it: the old width, the cursor at 50 at its own size.
    m_screen.SetCursor(4, GREEN, 0, 0);
    m_screen.MoveResize(w, 300, 300, 200, 60);
    m_screen.Fill(w, 0, 0, 100, 60, RED);
    m_screen.Fill(w, 100, 0, 100, 60, BLUE);
    m_screen.MovePointer(300 + 101, 300 + 30);
    ASSERT_EQ(0, p.GrabFrom(grabber));
    p.Expect({{0, 0, RED}, {49, 59, RED}, {99, 0, BLUE}, {50, 30, GREEN}, {53, 33, GREEN}, {54, 30, BLUE}});
    EXPECT_EQ(16, p.Count(GREEN));
    // Half off the right edge: what is off the screen is black.
    m_screen.MoveResize(w, m_screen.width() - 30, 500, 100, 60);
    m_screen.Fill(w, 0, 0, 100, 60, RED);
    ASSERT_EQ(0, p.GrabFrom(grabber));
    p.Expect({{29, 30, RED}, {30, 30, 0}});
    // A vanished window gives -1; our connections' errors never reach the toolkit's handler, others' once.
    unsigned long gone = m_screen.CreateWindow(50, 50, 40, 30, RED);
    WindowGrabber vanishing;
    ASSERT_EQ(0, vanishing.Open(gone));
    int before = X11TestScreen::ErrorsTrapped();
    m_screen.Destroy(gone);
    Picture q(40, 30);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(-1, q.GrabFrom(vanishing));
    EXPECT_EQ(40 * 30, q.Count(0xEEEEEEEE)) << "buffer left untouched";
    // The chooser's list and grabbers' connections on two threads: one handler, none calling another in a loop.
    std::thread trees([] {
        for (int i = 0; i < 40; ++i) {
            WinHandle root;
            BuildWindowTree(root);
        }
    });
    for (int i = 0; i < 200; ++i) {
        X11Connection other;
        other.Open();
    }
    trees.join();
    EXPECT_EQ(before, X11TestScreen::ErrorsTrapped()) << "our errors are not passed on";
    m_screen.ProvokeError();
    EXPECT_EQ(before + 1, X11TestScreen::ErrorsTrapped()) << "others' errors reach their handler";

    vanishing.Close();
    EXPECT_EQ(-1, vanishing.Open(gone)) << "a window that is gone";
    EXPECT_EQ(-1, vanishing.Open(0)) << "no window";
}

TEST(X11ScreenDepth, SixteenBitScreensAreRefused) {
    REQUIRE_DISPLAY();
    PrivateXServer server;
    ASSERT_TRUE(server.Start("320x240x16"));
    ScopedEnv display("DISPLAY", server.display());
    DesktopGrabber desktop;
    EXPECT_EQ(-1, desktop.Open(0, 0, 100, 100));
    X11TestScreen screen;
    ASSERT_TRUE(screen.Open());
    WindowGrabber window;
    EXPECT_EQ(-1, window.Open(screen.CreateWindow(10, 10, 50, 50, 0)));
}
