#pragma once

#include <cstdint>

// Xlib's display record, named without including Xlib.
struct _XDisplay;

// One private connection to the X server. Each grabber owns one: Xlib
// connections must not be shared between threads, and Qt's own connection is
// left alone. Opened and closed on the owner's thread; between the two, only
// one thread at a time may use it.
//
// X errors on a connection opened here never end the process: one
// process-wide error handler, put in place at the first Open and never
// replaced, records them on their connection, and the calls of this layer
// turn them into -1 results (a window that vanished gives BadWindow or
// BadMatch). Errors on other connections go to the handler that was there
// before ours.
class X11Connection {
public:
    X11Connection();
    // Closes the connection.
    ~X11Connection();

    // Connects to displayName (null: $DISPLAY) and looks up the MIT-SHM and
    // XFIXES extensions. 0, or -1 (logged) when the server cannot be reached.
    int Open(const char* displayName = nullptr);
    // Disconnects. Any state; safe twice.
    void Close();

    bool IsOpen() const { return m_display != nullptr; }
    _XDisplay* display() const { return m_display; }
    // The root window of the default screen and its size in pixels.
    unsigned long root() const { return m_root; }
    int screenWidth() const { return m_screenWidth; }
    int screenHeight() const { return m_screenHeight; }
    bool hasShm() const { return m_hasShm; }
    bool hasXFixes() const { return m_hasXFixes; }

    // Waits until the server has handled every request sent so far. 0, or -1
    // when an X error arrived since the last Sync/TakeError.
    int Sync();
    // The error code of the first X error since the last call (0: none), and
    // forgets it. Called on the connection's thread.
    int TakeError();
    // The server's text for the last error given out by TakeError or Sync
    // ("" when none yet), for the failing step's log line.
    const char* ErrorText() const { return m_takenText; }

private:
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    friend struct X11ErrorRegistry;

    _XDisplay* m_display;
    unsigned long m_root;
    int m_screenWidth;
    int m_screenHeight;
    bool m_hasShm;
    bool m_hasXFixes;
    // First error code since the last TakeError; written by the error
    // handler, which runs on the thread that uses the connection.
    int m_error;
    // Xlib's text for m_error, written with it.
    char m_errorText[128];
    // The text of the last error taken.
    char m_takenText[128];
};
