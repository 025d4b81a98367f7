#pragma once

#include <cstdint>

// A system-wide key grab on the root window of an X connection that someone
// else reads (Qt's): the key press is then delivered to that connection
// whichever window has the focus. The key is grabbed with and without
// NumLock and CapsLock, so the lock keys do not disable it. All calls on the
// thread that owns the connection (Qt's GUI thread).
class X11KeyGrab {
public:
    // Modifier keys that must be held, as bit flags.
    enum Modifier { MOD_SHIFT = 1, MOD_CONTROL = 2, MOD_ALT = 4, MOD_META = 8 };

    X11KeyGrab();
    ~X11KeyGrab();

    // display: the Xlib Display* of the connection; connection: its
    // xcb_connection_t*. keyName: an X keysym name ("F3", "a", "space").
    // 0 when every variant is grabbed; -1 (and nothing grabbed) when the name
    // is unknown, the keyboard has no such key, or another client already
    // holds the grab (logged as a warning: the program runs without the key).
    int Open(void* display, void* connection, const char* keyName, int modifiers);
    // Ungrabs. Safe in any state and twice.
    void Close();
    // Forgets the connection without talking to it: for when it is already
    // closed (its grabs ended with it). Close afterwards does nothing.
    void Abandon();
    bool IsOpen() const { return m_grabbed; }

    // True when event (an xcb_generic_event_t* read from the connection) is
    // a press of the grabbed key with the grabbed modifiers.
    bool IsPress(const void* event) const;

private:
    X11KeyGrab(const X11KeyGrab&) = delete;
    X11KeyGrab& operator=(const X11KeyGrab&) = delete;

    void Ungrab(int variants);

    void* m_display;
    void* m_connection;
    uint32_t m_root;
    uint8_t m_keycode;
    uint16_t m_modifiers;     // X modifier mask of the wanted modifiers
    uint16_t m_numLockMask;   // modifier bit of NumLock, 0 if unmapped
    uint16_t m_lockMasks[4];  // the lock-key combinations grabbed as well
    int m_variants;           // entries of m_lockMasks in use
    bool m_grabbed;
};
