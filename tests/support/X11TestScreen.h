#pragma once

#include <cstdint>

struct _XDisplay;

// Puts known pictures on an X screen for the capture tests: plain windows
// of solid colours, a square cursor of one colour, pointer moves through
// XTest. Colours are 0xRRGGBB on a 24-bit true-colour screen. Every call
// waits until the server has done it.
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
    // Fills the whole screen behind all windows with rgb.
    void FillRoot(uint32_t rgb);

    // Shows, everywhere on the screen, a size x size cursor of rgb with its
    // hot spot at (hotX, hotY).
    void SetCursor(int size, uint32_t rgb, int hotX, int hotY);
    // Moves the pointer to (x, y) on the screen, as a user would.
    void MovePointer(int x, int y);

    // Puts in place a process-wide X error handler that only counts, as a
    // toolkit would put its own; the count so far.
    static void TrapErrors();
    static int ErrorsTrapped();
    // Asks for the geometry of a window that does not exist (BadDrawable).
    void ProvokeError();

private:
    _XDisplay* m_display;
    int m_width, m_height;
    unsigned long m_cursor;
};
