#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

struct _XDisplay;

// Puts known pictures on an X screen for the capture tests: plain windows of
// solid colours (0xRRGGBB, 24-bit true colour), a square cursor of one
// colour, pointer moves through XTest. Every call waits for the server.
class X11TestScreen {
public:
    X11TestScreen();
    // Closes the connection: the server destroys the windows and cursor.
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
    // Defines a RandR monitor, deleted again when this object goes (the
    // server keeps it after the connection closes).
    void SetMonitor(const char* name, int x, int y, int width, int height, bool primary);

    // Puts in place a process-wide X error handler that only counts, as a
    // toolkit would; the count so far.
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

// Fixture of the capture tests: the frame pool as main sets it up, a
// connection to the test X server with the pointer parked in the bottom-right
// corner, and windows that go away after each test.
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
