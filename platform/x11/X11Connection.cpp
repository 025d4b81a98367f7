#include "platform/x11/X11Connection.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>

#include <cstring>
#include <mutex>

#include "os/OS_Log.h"

// Xlib has one error handler for the whole process, and its default ends the
// process. Ours is put in place once, at the first connection, and never
// again: a handler that swapped itself in and out, keeping "the one before",
// could end up calling a handler that calls it back, forever. It routes by
// display: an error of one of our connections is noted on that connection;
// an error of any other display (Qt's) goes to the handler that was there
// before ours, or is dropped when there was none.
struct X11ErrorRegistry {
    static constexpr int MAX_CONNECTIONS = 64;

    static std::mutex& Lock() {
        static std::mutex lock;
        return lock;
    }
    // Guarded by Lock().
    static X11Connection* s_connections[MAX_CONNECTIONS];
    // Set once, before our handler can run.
    static XErrorHandler s_previous;

    static int Handler(Display* display, XErrorEvent* event) {
        {
            std::lock_guard<std::mutex> guard(Lock());
            for (X11Connection* c : s_connections) {
                if (c && c->m_display == display) {
                    if (c->m_error == 0) {
                        c->m_error = event->error_code;
                        // Local: the error database asks the server nothing.
                        XGetErrorText(display, event->error_code, c->m_errorText, sizeof c->m_errorText);
                    }
                    return 0;
                }
            }
        }
        return s_previous ? s_previous(display, event) : 0;
    }

    static void Install() {
        static std::once_flag once;
        std::call_once(once, [] { s_previous = XSetErrorHandler(&Handler); });
    }

    // -1 when the table is full.
    static int Add(X11Connection* c) {
        Install();
        std::lock_guard<std::mutex> guard(Lock());
        for (X11Connection*& slot : s_connections) {
            if (!slot) {
                slot = c;
                return 0;
            }
        }
        return -1;
    }

    static void Remove(X11Connection* c) {
        std::lock_guard<std::mutex> guard(Lock());
        for (X11Connection*& slot : s_connections)
            if (slot == c)
                slot = nullptr;
    }
};

X11Connection* X11ErrorRegistry::s_connections[X11ErrorRegistry::MAX_CONNECTIONS];
XErrorHandler X11ErrorRegistry::s_previous = nullptr;

X11Connection::X11Connection()
    : m_display(nullptr), m_root(0), m_screenWidth(0), m_screenHeight(0), m_hasShm(false),
      m_hasXFixes(false), m_error(0), m_errorText(), m_takenText() {}

X11Connection::~X11Connection() { Close(); }

int X11Connection::Open(const char* displayName) {
    Close();
    m_display = XOpenDisplay(displayName);
    if (!m_display) {
        OS_Log::Error("[X11Connection::Open] Error: cannot connect to X display '%s'.\n",
                      XDisplayName(displayName));
        return -1;
    }
    if (X11ErrorRegistry::Add(this) != 0) {
        OS_Log::Error("[X11Connection::Open] Error: too many X connections.\n");
        Close();
        return -1;
    }
    int screen = DefaultScreen(m_display);
    m_root = RootWindow(m_display, screen);
    m_screenWidth = DisplayWidth(m_display, screen);
    m_screenHeight = DisplayHeight(m_display, screen);
    m_hasShm = XShmQueryExtension(m_display) == True;
    int eventBase = 0, errorBase = 0;
    m_hasXFixes = XFixesQueryExtension(m_display, &eventBase, &errorBase) == True;
    if (!m_hasXFixes)
        OS_Log::Warning("[X11Connection::Open] Warning: no XFIXES extension, the cursor is not recorded.\n");
    m_error = 0;
    return 0;
}

void X11Connection::Close() {
    if (!m_display)
        return;
    // Errors that the closing flush brings in are still ours.
    XCloseDisplay(m_display);
    X11ErrorRegistry::Remove(this);
    m_display = nullptr;
    m_root = 0;
    m_screenWidth = m_screenHeight = 0;
    m_hasShm = m_hasXFixes = false;
    m_error = 0;
}

int X11Connection::Sync() {
    if (!m_display)
        return -1;
    XSync(m_display, False);
    return TakeError() == 0 ? 0 : -1;
}

int X11Connection::TakeError() {
    int error = m_error;
    if (error != 0)
        memcpy(m_takenText, m_errorText, sizeof m_takenText);
    m_error = 0;
    return error;
}
