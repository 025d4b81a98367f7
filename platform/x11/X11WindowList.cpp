#include "platform/x11/X11WindowList.h"

#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "os/OS_Log.h"

// Requests go out through xcb on the Xlib connection: xcb sends every request
// of a batch before we wait for the first reply, and hands a request's error
// back with its reply, so Xlib's error handler never sees them.

namespace {

// Longest property read, in 32-bit units: 16 KiB is far beyond any title
// the tree keeps (255 bytes).
const uint32_t MAX_PROPERTY_LONGS = 4096;
// How far below a window manager's frame the client window is looked for:
// frames hold it one or two levels down.
const int CLIENT_SEARCH_DEPTH = 3;
const uint32_t ATOM_WM_NAME = 39;   // XA_WM_NAME
const uint32_t ATOM_CARDINAL = 6;   // XA_CARDINAL

uint32_t InternAtom(xcb_connection_t* xcb, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(xcb, xcb_intern_atom(xcb, 0, (uint16_t)strlen(name), name), nullptr);
    uint32_t atom = reply ? reply->atom : 0;
    free(reply);
    return atom;
}

// The reply of cookie, or null (the error, if any, is dropped).
template <class Reply, class Cookie>
Reply* Take(Reply* (*reply)(xcb_connection_t*, Cookie, xcb_generic_error_t**), xcb_connection_t* xcb,
            Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    Reply* r = reply(xcb, cookie, &error);
    free(error);
    return r;
}

// WM_NAME may be Latin-1 or compound text: let Xlib convert it to UTF-8
// (locally, no request).
bool WmNameToUtf8(Display* display, xcb_get_property_reply_t* reply, std::string& title) {
    XTextProperty property;
    property.value = static_cast<unsigned char*>(xcb_get_property_value(reply));
    property.encoding = reply->type;
    property.format = reply->format;
    property.nitems = (unsigned long)xcb_get_property_value_length(reply);
    char** list = nullptr;
    int count = 0;
    bool found = Xutf8TextPropertyToTextList(display, &property, &list, &count) >= Success && list && count > 0;
    if (found)
        title = list[0];
    if (list)
        XFreeStringList(list);
    return found;
}

}  // namespace

X11WindowList::X11WindowList()
    : m_xcb(nullptr), m_atom_net_wm_name(0), m_atom_net_wm_pid(0), m_atom_utf8_string(0), m_atom_wm_state(0) {}

X11WindowList::~X11WindowList() {
    Close();
}

int X11WindowList::Open() {
    if (m_xcb)
        return 0;
    if (m_conn.Open() != 0)
        return -1;
    m_xcb = XGetXCBConnection(m_conn.display());
    m_atom_net_wm_name = InternAtom(m_xcb, "_NET_WM_NAME");
    m_atom_net_wm_pid = InternAtom(m_xcb, "_NET_WM_PID");
    m_atom_utf8_string = InternAtom(m_xcb, "UTF8_STRING");
    m_atom_wm_state = InternAtom(m_xcb, "WM_STATE");
    return 0;
}

void X11WindowList::Close() {
    m_xcb = nullptr;
    m_conn.Close();
}

WindowId X11WindowList::DesktopWindow() {
    return m_xcb ? m_conn.root() : 0;
}

void X11WindowList::ListChildren(const std::vector<WindowId>& windows,
                                 std::vector<std::vector<WindowId>>& children) {
    children.assign(windows.size(), std::vector<WindowId>());
    if (!m_xcb)
        return;
    std::vector<xcb_query_tree_cookie_t> cookies;
    for (WindowId window : windows)
        cookies.push_back(xcb_query_tree(m_xcb, (xcb_window_t)window));
    for (size_t i = 0; i < windows.size(); ++i) {
        xcb_query_tree_reply_t* reply = Take(xcb_query_tree_reply, m_xcb, cookies[i]);
        if (!reply)
            continue;
        const xcb_window_t* list = xcb_query_tree_children(reply);
        for (int k = xcb_query_tree_children_length(reply); k > 0; --k)
            children[i].push_back(list[k - 1]);
        free(reply);
    }
}

void X11WindowList::ReadStates(const std::vector<WindowId>& windows, std::vector<WindowState>& states) {
    states.clear();
    for (WindowId window : windows)
        states.push_back(WindowState{window, 0, 0, 0, 0, false});
    if (!m_xcb)
        return;
    struct Cookies {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t position;
    };
    std::vector<Cookies> cookies;
    for (WindowId window : windows) {
        xcb_window_t w = (xcb_window_t)window;
        cookies.push_back(Cookies{xcb_get_window_attributes(m_xcb, w), xcb_get_geometry(m_xcb, w),
                                  xcb_translate_coordinates(m_xcb, w, (xcb_window_t)m_conn.root(), 0, 0)});
    }
    for (size_t i = 0; i < windows.size(); ++i) {
        xcb_get_window_attributes_reply_t* attributes =
            Take(xcb_get_window_attributes_reply, m_xcb, cookies[i].attributes);
        xcb_get_geometry_reply_t* geometry = Take(xcb_get_geometry_reply, m_xcb, cookies[i].geometry);
        xcb_translate_coordinates_reply_t* position =
            Take(xcb_translate_coordinates_reply, m_xcb, cookies[i].position);
        if (attributes && geometry && position) {
            // The translated point is inside the border; the outer rectangle holds it.
            WindowState& s = states[i];
            int border = geometry->border_width;
            s.left = position->dst_x - border;
            s.top = position->dst_y - border;
            s.right = position->dst_x + geometry->width + border;
            s.bottom = position->dst_y + geometry->height + border;
            // An input-only window covers others without showing anything.
            s.visible = attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                        attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
        }
        free(attributes);
        free(geometry);
        free(position);
    }
}

void X11WindowList::ReadProperties(const std::vector<WindowId>& windows, std::vector<Properties>& out) {
    out.assign(windows.size(), Properties());
    struct Cookies {
        xcb_get_property_cookie_t netName, wmName, pid, wmState;
    };
    std::vector<Cookies> cookies;
    for (WindowId window : windows) {
        xcb_window_t w = (xcb_window_t)window;
        cookies.push_back(Cookies{
            xcb_get_property(m_xcb, 0, w, m_atom_net_wm_name, m_atom_utf8_string, 0, MAX_PROPERTY_LONGS),
            xcb_get_property(m_xcb, 0, w, ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, MAX_PROPERTY_LONGS),
            xcb_get_property(m_xcb, 0, w, m_atom_net_wm_pid, ATOM_CARDINAL, 0, 1),
            xcb_get_property(m_xcb, 0, w, m_atom_wm_state, XCB_GET_PROPERTY_TYPE_ANY, 0, 0)});
    }
    for (size_t i = 0; i < windows.size(); ++i) {
        Properties& p = out[i];
        xcb_get_property_reply_t* netName = Take(xcb_get_property_reply, m_xcb, cookies[i].netName);
        xcb_get_property_reply_t* wmName = Take(xcb_get_property_reply, m_xcb, cookies[i].wmName);
        xcb_get_property_reply_t* pid = Take(xcb_get_property_reply, m_xcb, cookies[i].pid);
        xcb_get_property_reply_t* wmState = Take(xcb_get_property_reply, m_xcb, cookies[i].wmState);
        p.exists = netName && wmName && pid && wmState;
        if (p.exists) {
            p.hasWmState = wmState->type != XCB_NONE;
            if (netName->type == m_atom_utf8_string && netName->format == 8) {
                p.title.assign(static_cast<const char*>(xcb_get_property_value(netName)),
                               (size_t)xcb_get_property_value_length(netName));
                p.hasTitle = true;
            } else if (wmName->type != XCB_NONE && wmName->format == 8) {
                p.hasTitle = WmNameToUtf8(m_conn.display(), wmName, p.title);
            }
            if (pid->type == ATOM_CARDINAL && pid->format == 32 && xcb_get_property_value_length(pid) == 4) {
                p.processId = *static_cast<const uint32_t*>(xcb_get_property_value(pid));
                p.hasPid = true;
            }
        }
        free(netName);
        free(wmName);
        free(pid);
        free(wmState);
    }
}

void X11WindowList::ReadInfo(const std::vector<WindowId>& windows, std::vector<WindowInfo>& info) {
    info.assign(windows.size(), WindowInfo{false, std::string(), 0});
    if (!m_xcb)
        return;
    std::vector<Properties> own;
    ReadProperties(windows, own);
    // Frames still to answer for, and the windows of the level being searched
    // below each of them, front to back.
    std::vector<size_t> pending;
    std::vector<WindowId> level;
    std::vector<size_t> levelOwner;
    for (size_t i = 0; i < windows.size(); ++i) {
        info[i] = WindowInfo{own[i].exists, own[i].title, own[i].processId};
        if (own[i].exists && !own[i].hasWmState && (!own[i].hasTitle || !own[i].hasPid)) {
            level.push_back(windows[i]);
            levelOwner.push_back(i);
        }
    }
    // Breadth first, one batch per level: the client is the first window
    // with WM_STATE.
    std::vector<bool> resolved(windows.size(), false);
    for (int depth = 0; depth < CLIENT_SEARCH_DEPTH && !level.empty(); ++depth) {
        std::vector<std::vector<WindowId>> children;
        ListChildren(level, children);
        std::vector<WindowId> next;
        std::vector<size_t> nextOwner;
        for (size_t k = 0; k < level.size(); ++k) {
            for (WindowId child : children[k]) {
                next.push_back(child);
                nextOwner.push_back(levelOwner[k]);
            }
        }
        std::vector<Properties> found;
        ReadProperties(next, found);
        level.clear();
        levelOwner.clear();
        for (size_t k = 0; k < next.size(); ++k) {
            size_t i = nextOwner[k];
            if (resolved[i])
                continue;
            if (found[k].hasWmState) {
                resolved[i] = true;
                if (!own[i].hasTitle)
                    info[i].title = found[k].title;
                if (!own[i].hasPid)
                    info[i].processId = found[k].processId;
            } else {
                level.push_back(next[k]);
                levelOwner.push_back(i);
            }
        }
    }
}
