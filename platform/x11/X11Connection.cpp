#include "platform/x11/X11Connection.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>

#include <mutex>

#include "os/OS_Log.h"

// Xlib has one error handler for the whole process, and its default ends the
// process. The registry maps our connections to their records so that the
// handler can note an error on the right connection and carry on; errors of
// connections that are not ours (Qt's) go to the handler found before.
struct X11ErrorRegistry {
    static constexpr int MAX_CONNECTIONS = 64;

    static std::mutex& Lock() {
        static std::mutex lock;
        return lock;
    }
    // Guarded by Lock().
    static X11Connection* s_connections[MAX_CONNECTIONS];
    static XErrorHandler s_previous;

    static int Handler(Display* display, XErrorEvent* event) {
        XErrorHandler previous = nullptr;
        bool ours = false;
        {
            std::lock_guard<std::mutex> guard(Lock());
            for (X11Connection* c : s_connections) {
                if (c && c->m_display == display) {
                    if (c->m_error == 0)
                        c->m_error = event->error_code;
                    ours = true;
                    break;
                }
            }
            previous = s_previous;
        }
        if (!ours)
            return previous ? previous(display, event) : 0;
        OS_Log::Debug("X error %d (request %d.%d) on resource 0x%lx.\n", event->error_code,
                      event->request_code, event->minor_code, event->resourceid);
        return 0;
    }

    // Adds c and puts the handler in place (again, in case someone replaced
    // it since). -1 when the table is full.
    static int Add(X11Connection* c) {
        std::lock_guard<std::mutex> guard(Lock());
        XErrorHandler old = XSetErrorHandler(&Handler);
        if (old != &Handler)
            s_previous = old;
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
      m_hasXFixes(false), m_error(0) {}

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
    m_error = 0;
    return error;
}
