#pragma once

#include <cstdint>
#include <vector>

#include "media/MMUserMalloc.h"
#include "platform/WindowId.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11CursorImage.h"
#include "platform/x11/X11ScreenImage.h"

// Copies what the screen shows over one window's current rectangle (frame
// included), scaled to the size the window had at Open, with the cursor
// drawn in. The picture is width x height pixels of 4 bytes (blue, green,
// red, unused), rowBytes a row, rows top first. Open and Close run on the owner's
// thread, Grab on the one capture thread, never at the same time.
class WindowGrabber {
public:
    WindowGrabber();
    ~WindowGrabber();

    // Opens its own X connection and takes the window's size as the picture
    // size. 0, or -1 (logged, nothing left open) when there is no display,
    // the window does not exist or has no area, or the screen's depth is not
    // 24 or 32 bits.
    int Open(WindowId window);
    // Writes one picture, rowBytes * height bytes, into buffer. -1 with
    // buffer untouched when the window is gone or has no area, or when size
    // is too small for a picture.
    int Grab(void* buffer, int size);
    // Lends nothing: a window's picture is scaled into a block of its own.
    bool Lends() const { return false; }
    int GrabLent(void**, MMUserMalloc**) { return -1; }
    // Any state; safe twice.
    void Close();

    int width() const { return m_width; }
    int height() const { return m_height; }
    int rowBytes() const { return m_rowBytes; }
    int bitsPerPixel() const { return m_bitsPerPixel; }

private:
    WindowGrabber(const WindowGrabber&) = delete;
    WindowGrabber& operator=(const WindowGrabber&) = delete;

    int GrabScaled(int left, int top, int currentWidth, int currentHeight, uint8_t* picture);

    X11Connection m_conn;
    X11ScreenImage m_image;
    X11CursorImage m_cursor;
    WindowId m_window;
    int m_width, m_height;  // at Open: the picture size
    int m_rowBytes;
    int m_bitsPerPixel;     // 0 while closed
    // The on-screen part of a resized window before scaling, when there is
    // no shared memory; grows to at most the screen's size, only while the
    // window differs from its size at Open.
    std::vector<uint8_t> m_scratch;
};
