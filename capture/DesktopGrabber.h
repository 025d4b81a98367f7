#pragma once

#include "media/MMUserMalloc.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11CursorImage.h"
#include "platform/x11/X11ScreenImage.h"

// Copies one fixed rectangle of the screen, with the cursor drawn in. The
// picture is width x height pixels of 4 bytes (blue, green, red, unused), rows
// top first and packed. Open and Close run on the owner's thread, Grab on
// the one capture thread, never at the same time.
class DesktopGrabber {
public:
    // Pictures lent out at once when the rectangle lies on the screen: one
    // being grabbed, one waiting for the packer, one being converted. The
    // packer gives a picture back as soon as it is converted, so a fourth is
    // only wanted when the packer is already a whole picture behind, and
    // then losing a period is the cure anyway; each costs a full picture
    // of memory (33 MB at 3840 x 2160).
    static constexpr int LENT_PICTURES = 3;

    DesktopGrabber();
    ~DesktopGrabber();

    // Opens its own X connection and prepares grabs of (x, y, width, height).
    // 0, or -1 (logged, nothing left open) when there is no display, the
    // rectangle has no area or the screen's depth is not 24 or 32 bits.
    int Open(int x, int y, int width, int height);
    // Copies the rectangle and draws the cursor into buffer, never more than
    // size bytes (only the whole rows that fit). 0, or -1 with buffer
    // untouched when the server refused the copy.
    int Grab(void* buffer, int size);
    // Any state; safe twice. Lent pictures stay valid until given back.
    void Close();

    // Makes the shared memory of a recording of width x height pixels
    // beforehand (see X11ScreenImage::Prepare). 0, or -1 (logged). Any thread.
    static int Prepare(int width, int height) {
        return X11ScreenImage::Prepare(width, height, LENT_PICTURES);
    }

    // Whether GrabLent works: shared memory, and the rectangle on the screen.
    bool Lends() const { return m_lends; }
    // Grabs the rectangle, cursor drawn in, straight into shared memory the
    // X server writes to, and lends it: *picture (black when the server
    // refused the copy) goes back through *from's Free, from any thread.
    // 0, or -1 when all LENT_PICTURES are out.
    int GrabLent(void** picture, MMUserMalloc** from);

    int width() const { return m_width; }
    int height() const { return m_height; }
    int bitsPerPixel() const { return m_bitsPerPixel; }
    int rowBytes() const { return m_width * (m_bitsPerPixel / 8); }
    bool usesShm() const { return m_image.usesShm(); }

private:
    DesktopGrabber(const DesktopGrabber&) = delete;
    DesktopGrabber& operator=(const DesktopGrabber&) = delete;

    void DrawCursor(uint8_t* picture, int rows);

    X11Connection m_conn;
    X11ScreenImage m_image;
    X11CursorImage m_cursor;
    bool m_lends;
    int m_x, m_y;
    int m_width, m_height;
    int m_bitsPerPixel;  // 0 while closed
};
