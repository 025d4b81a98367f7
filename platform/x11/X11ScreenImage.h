#pragma once

#include <cstdint>

class X11Connection;
struct _XImage;

// Copies rectangles of the root window into a caller's buffer, as 4 bytes a
// pixel in the order blue, green, red, unused, rows top first. Uses MIT-SHM
// segments, attached in Open, when the server can attach them (a local
// display), and a plain XGetImage per grab otherwise (a remote display).
// With more than one segment the pictures can also be lent out: the server
// writes straight into a segment that the borrower reads on another thread
// and gives back (GiveBack), which saves copying every picture once more.
// Belongs to the thread that uses its connection; GiveBack alone may come
// from any thread, also after Close.
class X11ScreenImage {
public:
    enum Mode {
        MODE_AUTO,    // shared memory when the server allows it
        MODE_NO_SHM,  // always XGetImage (for comparison and tests)
    };
    static constexpr int BYTES_PER_PIXEL = 4;
    static constexpr int BITS_PER_PIXEL = 32;

    X11ScreenImage();
    ~X11ScreenImage();

    // Prepares grabs of at most maxWidth x maxHeight pixels of conn's root
    // window (clamped to the screen). -1 (logged) when the screen's pixels are
    // not 32 bits blue, green, red, unused (depths other than 24 and 32), or
    // the size has no area. conn must stay open until Close.
    // segments: how many pictures may be in use at once (Lend); without
    // shared memory there are none to lend.
    int Open(X11Connection* conn, int maxWidth, int maxHeight, Mode mode = MODE_AUTO, int segments = 1);
    // Detaches and frees. Segments still lent out stay mapped until they are
    // given back. Any state; safe twice.
    void Close();

    // A free segment, now the borrower's, or null when every one is lent out
    // (or there is no shared memory). Its first bytes are its picture.
    uint8_t* Lend();
    // Copies the root window's rectangle, which must lie on the screen and
    // fit the size given to Open, into lent, a segment from Lend, as
    // width * 4 bytes a row. 0, or -1 with lent untouched when the server
    // refused.
    int GrabInto(uint8_t* lent, int x, int y, int width, int height);
    // Gives a segment from Lend back; null is ignored. Any thread.
    static void GiveBack(void* lent);
    // Makes segments for pictures of width x height pixels before they are
    // needed, so that opening an image costs only their attachment, and from
    // then on keeps the segments of a closed image for the next one. 0, or
    // -1 (logged) when the system refuses. Any thread.
    static int Prepare(int width, int height, int segments);

    // Copies the root window's rectangle (x, y, width, height) into dst:
    // height rows of width * 4 bytes, dstRowBytes apart. Parts of the
    // rectangle outside the screen become 0; the part on screen must fit the
    // size given to Open. 0, or -1 with dst untouched when the server refused.
    int Grab(int x, int y, int width, int height, uint8_t* dst, int dstRowBytes);
    // With shared memory only: copies the rectangle, which must lie on the
    // screen and fit the size given to Open, into the shared segment and
    // returns its pixels there, width * 4 bytes a row, valid until the next
    // grab. Saves a copy for callers that transform the pixels anyway.
    // Null without shared memory or when the server refused.
    const uint8_t* GrabShared(int x, int y, int width, int height);

    bool usesShm() const { return m_shm != nullptr; }
    // The shared segment's id (-1 without one); it is already marked for
    // removal, so it goes away with the last process that detaches.
    int shmId() const;

private:
    X11ScreenImage(const X11ScreenImage&) = delete;
    X11ScreenImage& operator=(const X11ScreenImage&) = delete;

    struct Segment;
    struct Shm;
    int AttachShm(int width, int height, int segments);
    int AttachSegment(Segment* segment, int width, int height);
    void DetachShm();
    static void Release(Shm* shm);
    bool Fits(int width, int height) const;

    X11Connection* m_conn;  // not owned
    Shm* m_shm;             // null: XGetImage per grab
    int m_maxWidth;
    int m_maxHeight;
};
