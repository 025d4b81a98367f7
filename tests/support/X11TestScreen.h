#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

struct _XDisplay;

// Known pictures on an X screen: solid windows (0xRRGGBB), a square cursor, XTest pointer moves; calls sync.
class X11TestScreen {
public:
    X11TestScreen();
    ~X11TestScreen();

    // Connects to displayName (null: $DISPLAY). False when that fails.
    bool Open(const char* displayName = nullptr);
    int width() const { return m_width; }
    int height() const { return m_height; }

    // A mapped window without frame at (x, y), filled with rgb.
    unsigned long CreateWindow(int x, int y, int width, int height, uint32_t rgb);
    void Fill(unsigned long window, int x, int y, int width, int height, uint32_t rgb);
    void MoveResize(unsigned long window, int x, int y, int width, int height);
    void Destroy(unsigned long window);
    // Fills the whole screen behind all windows.
    void FillRoot(uint32_t rgb);
    // A size x size cursor of rgb, hot spot (hotX, hotY), all over the screen.
    void SetCursor(int size, uint32_t rgb, int hotX, int hotY);
    void MovePointer(int x, int y);
    // A RandR monitor, deleted again when this object goes (the server would keep it).
    void SetMonitor(const char* name, int x, int y, int width, int height, bool primary);

    // A process-wide X error handler that only counts, as a toolkit's would; the count so far.
    static void TrapErrors();
    static int ErrorsTrapped();
    // Asks for the geometry of a window that does not exist (BadDrawable).
    void ProvokeError();

private:
    void Sync();

    _XDisplay* m_display;
    int m_width, m_height;
    unsigned long m_cursor;
    std::vector<unsigned long> m_monitors;  // their names' atoms
};

// The frame pool as main sets it up, the pointer parked bottom-right, and windows destroyed after each test.
class X11ScreenTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A window of one colour that TearDown destroys.
    unsigned long Window(int x, int y, int width, int height, uint32_t rgb);

    X11TestScreen m_screen;

private:
    std::vector<unsigned long> m_windows;
};
