#include "platform/x11/X11KeyGrab.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include "os/OS_Log.h"

// The grabs go through xcb's checked requests rather than XGrabKey: Qt owns
// the connection's event queue, so an Xlib error (BadAccess when another
// program holds the key) would land in Qt's queue as noise instead of
// reaching us. xcb_request_check returns the error of exactly our request.

namespace {

// X11 core protocol error code for a grab held by another client.
const uint8_t X_BAD_ACCESS = 10;

// Modifier bit of the NumLock key in the current keyboard map, 0 if none.
uint16_t NumLockMask(Display* display) {
    KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(display);
    uint16_t mask = 0;
    if (map && numLock) {
        for (int mod = 0; mod < 8 && !mask; ++mod) {
            for (int k = 0; k < map->max_keypermod; ++k) {
                if (map->modifiermap[mod * map->max_keypermod + k] == numLock) {
                    mask = (uint16_t)(1 << mod);
                    break;
                }
            }
        }
    }
    if (map)
        XFreeModifiermap(map);
    return mask;
}

uint16_t ModifierMask(int modifiers) {
    uint16_t mask = 0;
    if (modifiers & X11KeyGrab::MOD_SHIFT) mask |= ShiftMask;
    if (modifiers & X11KeyGrab::MOD_CONTROL) mask |= ControlMask;
    if (modifiers & X11KeyGrab::MOD_ALT) mask |= Mod1Mask;
    if (modifiers & X11KeyGrab::MOD_META) mask |= Mod4Mask;
    return mask;
}

}  // namespace

X11KeyGrab::X11KeyGrab()
    : m_display(nullptr), m_connection(nullptr), m_root(0), m_keycode(0), m_modifiers(0),
      m_numLockMask(0), m_lockMasks(), m_variants(0), m_grabbed(false) {}

X11KeyGrab::~X11KeyGrab() {
    Close();
}

int X11KeyGrab::Open(void* display, void* connection, const char* keyName, int modifiers) {
    Close();
    Display* dpy = static_cast<Display*>(display);
    xcb_connection_t* conn = static_cast<xcb_connection_t*>(connection);
    if (!dpy || !conn || !keyName) {
        OS_Log::Warning("global key %s: no X connection.\n", keyName ? keyName : "(none)");
        return -1;
    }

    // the key
    KeySym sym = XStringToKeysym(keyName);
    KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(dpy, sym);
    if (code == 0) {
        OS_Log::Warning("global key %s: not on this keyboard.\n", keyName);
        return -1;
    }
    m_display = dpy;
    m_connection = conn;
    m_root = (uint32_t)DefaultRootWindow(dpy);
    m_keycode = code;
    m_modifiers = ModifierMask(modifiers);

    // the lock-key combinations
    uint16_t numLock = NumLockMask(dpy);
    m_numLockMask = numLock;
    m_variants = 0;
    m_lockMasks[m_variants++] = 0;
    m_lockMasks[m_variants++] = LockMask;
    if (numLock) {
        m_lockMasks[m_variants++] = numLock;
        m_lockMasks[m_variants++] = (uint16_t)(numLock | LockMask);
    }

    // grab every combination, each checked at once
    for (int i = 0; i < m_variants; ++i) {
        xcb_void_cookie_t cookie = xcb_grab_key_checked(
            conn, 0, m_root, (uint16_t)(m_modifiers | m_lockMasks[i]), m_keycode,
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t* error = xcb_request_check(conn, cookie);
        if (error) {
            if (error->error_code == X_BAD_ACCESS)
                OS_Log::Warning("global key %s is already taken by another program.\n", keyName);
            else
                OS_Log::Warning("global key %s: grab failed with X error %d.\n", keyName, error->error_code);
            free(error);
            Ungrab(i);
            m_display = nullptr;
            m_connection = nullptr;
            return -1;
        }
    }
    m_grabbed = true;
    return 0;
}

void X11KeyGrab::Ungrab(int variants) {
    xcb_connection_t* conn = static_cast<xcb_connection_t*>(m_connection);
    for (int i = 0; i < variants; ++i)
        xcb_ungrab_key(conn, m_keycode, m_root, (uint16_t)(m_modifiers | m_lockMasks[i]));
    xcb_flush(conn);
}

void X11KeyGrab::Close() {
    if (m_grabbed && m_connection)
        Ungrab(m_variants);
    Abandon();
}

void X11KeyGrab::Abandon() {
    m_grabbed = false;
    m_display = nullptr;
    m_connection = nullptr;
    m_variants = 0;
}

bool X11KeyGrab::IsPress(const void* event) const {
    if (!m_grabbed || !event)
        return false;
    const xcb_generic_event_t* generic = static_cast<const xcb_generic_event_t*>(event);
    if ((generic->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    const xcb_key_press_event_t* press = static_cast<const xcb_key_press_event_t*>(event);
    // Only the four modifiers we grab with count: lock keys, mouse buttons
    // and the rarely used Mod3/Mod5 may be in any state.
    const uint16_t relevant = (uint16_t)((ShiftMask | ControlMask | Mod1Mask | Mod4Mask) & ~m_numLockMask);
    return press->detail == m_keycode && (press->state & relevant) == m_modifiers;
}
