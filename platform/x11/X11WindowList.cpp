#include "platform/x11/X11WindowList.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <utility>

#include "os/OS_Log.h"

namespace {

// Longest property read, in 32-bit units: 16 KiB is far beyond any title
// the tree keeps (255 bytes).
const long MAX_PROPERTY_LONGS = 4096;
// How far below a window manager's frame the client window is looked for:
// frames hold it one or two levels down.
const int CLIENT_SEARCH_DEPTH = 3;

// Xlib's default handler ends the process on any error, and a window may be
// destroyed by its owner at any moment between our requests. While a trap is
// alive on a thread, errors of its connection are recorded instead; errors
// of other connections (Qt's, another thread's) go to the handler that was
// installed before.
thread_local Display* t_trapDisplay = nullptr;
thread_local int t_trapError = 0;
std::atomic<XErrorHandler> g_previousHandler{nullptr};

int TrapError(Display* display, XErrorEvent* event) {
    if (display == t_trapDisplay) {
        if (t_trapError == 0)
            t_trapError = event->error_code;
        return 0;
    }
    XErrorHandler previous = g_previousHandler.load();
    return previous ? previous(display, event) : 0;
}

// Catches the errors of the requests made during its life. Every request
// made under a trap waits for its reply, so its error has been handled by
// the time the call returns.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : m_display(display) {
        t_trapDisplay = display;
        t_trapError = 0;
        g_previousHandler = XSetErrorHandler(&TrapError);
    }
    ~ErrorTrap() {
        XSetErrorHandler(g_previousHandler.load());
        t_trapDisplay = nullptr;
    }
    bool Failed() const { return t_trapError != 0; }

private:
    Display* m_display;
};

// One property of a window as the server holds it (at most `longs` 32-bit
// units of it); freed with the object.
struct Property {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned char* data = nullptr;

    Property(Display* display, Window window, Atom property, long longs, Atom requested) {
        unsigned long remaining = 0;
        if (XGetWindowProperty(display, window, property, 0, longs, False, requested, &type, &format, &count,
                               &remaining, &data) != Success) {
            type = None;
            data = nullptr;
        }
    }
    ~Property() {
        if (data)
            XFree(data);
    }
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;
};

// Reads a whole 8-bit property of the given type. False when it is missing.
bool ReadTextProperty(Display* display, Window window, Atom property, Atom type, std::string& text) {
    Property value(display, window, property, MAX_PROPERTY_LONGS, type);
    if (!value.data || value.type != type || value.format != 8)
        return false;
    text.assign(reinterpret_cast<const char*>(value.data), value.count);
    return true;
}

// Reads the first item of a 32-bit CARDINAL property. False when it is missing.
bool ReadCardinal(Display* display, Window window, Atom property, unsigned long& number) {
    Property value(display, window, property, 1, XA_CARDINAL);
    if (!value.data || value.type != XA_CARDINAL || value.format != 32 || value.count != 1)
        return false;
    // Xlib hands 32-bit items over as longs.
    number = *reinterpret_cast<unsigned long*>(value.data);
    return true;
}

// WM_NAME may be Latin-1 or compound text: let Xlib convert it to UTF-8.
bool ReadWmName(Display* display, Window window, std::string& title) {
    XTextProperty property;
    if (!XGetWMName(display, window, &property) || !property.value)
        return false;
    char** list = nullptr;
    int count = 0;
    bool found = Xutf8TextPropertyToTextList(display, &property, &list, &count) >= Success &&
                 list && count > 0;
    if (found)
        title = list[0];
    if (list)
        XFreeStringList(list);
    XFree(property.value);
    return found;
}

}  // namespace

X11WindowList::X11WindowList()
    : m_x11_display(nullptr), m_atom_net_wm_name(0), m_atom_net_wm_pid(0), m_atom_utf8_string(0),
      m_atom_wm_state(0) {}

X11WindowList::~X11WindowList() {
    Close();
}

int X11WindowList::Open() {
    if (m_x11_display)
        return 0;
    m_x11_display = XOpenDisplay(nullptr);
    if (!m_x11_display) {
        const char* name = getenv("DISPLAY");
        OS_Log::Error("[X11WindowList::Open] Error: cannot open display '%s'.\n", name ? name : "");
        return -1;
    }
    m_atom_net_wm_name = XInternAtom(m_x11_display, "_NET_WM_NAME", False);
    m_atom_net_wm_pid = XInternAtom(m_x11_display, "_NET_WM_PID", False);
    m_atom_utf8_string = XInternAtom(m_x11_display, "UTF8_STRING", False);
    m_atom_wm_state = XInternAtom(m_x11_display, "WM_STATE", False);
    return 0;
}

void X11WindowList::Close() {
    if (m_x11_display) {
        XCloseDisplay(m_x11_display);
        m_x11_display = nullptr;
    }
}

WindowId X11WindowList::DesktopWindow() {
    return m_x11_display ? DefaultRootWindow(m_x11_display) : 0;
}

int X11WindowList::ListChildren(WindowId window, std::vector<WindowId>& children) {
    children.clear();
    if (!m_x11_display)
        return -1;
    ErrorTrap trap(m_x11_display);
    Window root = 0, parent = 0;
    Window* list = nullptr;
    unsigned int count = 0;
    bool ok = XQueryTree(m_x11_display, window, &root, &parent, &list, &count) && !trap.Failed();
    if (ok) {
        for (unsigned int i = count; i > 0; --i)
            children.push_back(list[i - 1]);
    }
    if (list)
        XFree(list);
    return ok ? 0 : -1;
}

int X11WindowList::ReadState(WindowId window, WindowState& state) {
    state = WindowState{window, 0, 0, 0, 0, false};
    if (!m_x11_display)
        return -1;
    ErrorTrap trap(m_x11_display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(m_x11_display, window, &attributes) || trap.Failed())
        return -1;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(m_x11_display, window, attributes.root, 0, 0, &x, &y, &child) ||
        trap.Failed())
        return -1;
    // The translated point is inside the border; the outer rectangle holds it.
    int border = attributes.border_width;
    state.left = x - border;
    state.top = y - border;
    state.right = x + attributes.width + border;
    state.bottom = y + attributes.height + border;
    // An input-only window covers others without showing anything.
    state.visible = attributes.map_state == IsViewable && attributes.c_class == InputOutput;
    return 0;
}

int X11WindowList::ReadTitle(WindowId window, std::string& title) {
    title.clear();
    if (!m_x11_display)
        return -1;
    ErrorTrap trap(m_x11_display);
    if (ReadName(window, title))
        return 0;
    if (trap.Failed())
        return -1;
    // A frame: the client inside has the name. Windows below that vanish
    // meanwhile only leave the title empty.
    WindowId client = ClientOf(window);
    if (client != window && !ReadName(client, title))
        title.clear();
    return 0;
}

int X11WindowList::ReadProcessId(WindowId window, uint32_t& processId) {
    processId = 0;
    if (!m_x11_display)
        return -1;
    ErrorTrap trap(m_x11_display);
    unsigned long value = 0;
    bool found = ReadCardinal(m_x11_display, window, m_atom_net_wm_pid, value);
    if (!found && trap.Failed())
        return -1;
    if (!found) {
        WindowId client = ClientOf(window);
        found = client != window && ReadCardinal(m_x11_display, client, m_atom_net_wm_pid, value);
    }
    if (found)
        processId = static_cast<uint32_t>(value);
    return 0;
}

bool X11WindowList::ReadName(WindowId window, std::string& title) {
    return ReadTextProperty(m_x11_display, window, m_atom_net_wm_name, m_atom_utf8_string, title) ||
           ReadWmName(m_x11_display, window, title);
}

bool X11WindowList::HasWmState(WindowId window) {
    return Property(m_x11_display, window, m_atom_wm_state, 0, AnyPropertyType).type != None;
}

WindowId X11WindowList::ClientOf(WindowId window) {
    if (HasWmState(window))
        return window;
    // Breadth first, front to back: the client is the first window with WM_STATE.
    std::deque<std::pair<Window, int>> pending;
    pending.emplace_back(window, 0);
    while (!pending.empty()) {
        Window current = pending.front().first;
        int depth = pending.front().second;
        pending.pop_front();
        Window root = 0, parent = 0;
        Window* list = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_x11_display, current, &root, &parent, &list, &count))
            continue;
        for (unsigned int i = count; i > 0; --i) {
            Window child = list[i - 1];
            if (HasWmState(child)) {
                XFree(list);
                return child;
            }
            if (depth + 1 < CLIENT_SEARCH_DEPTH)
                pending.emplace_back(child, depth + 1);
        }
        if (list)
            XFree(list);
    }
    return window;
}
