#include "tests/support/X11ScreenTest.h"

#include "tests/support/FramePool.h"
#include "tests/support/TestEnv.h"

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
