#pragma once

#include "platform/WindowSource.h"

struct _XDisplay;

// The window tree's reader over Xlib, on its own X connection (sharing Qt's
// would mix our requests and errors into its stream). Each call traps the X
// errors it causes, so a window that vanishes between two calls (BadWindow,
// BadMatch) only makes that call fail. UI thread only.
class X11WindowList : public WindowSource {
public:
    X11WindowList();
    ~X11WindowList() override;

    // Connects to $DISPLAY. 0, or -1 when no X server answers.
    int Open();
    // Disconnects; safe in any state and twice.
    void Close();

    // 0 before Open.
    WindowId DesktopWindow() override;
    // XQueryTree lists bottom to top: the result is reversed.
    int ListChildren(WindowId window, std::vector<WindowId>& children) override;
    // Screen rectangle from XTranslateCoordinates; visible when viewable
    // and not input-only.
    int ReadState(WindowId window, WindowState& state) override;
    // _NET_WM_NAME, else WM_NAME. A window manager's frame carries neither:
    // then the client window inside it is asked.
    int ReadTitle(WindowId window, std::string& title) override;
    // _NET_WM_PID, of the client window inside a frame as above.
    int ReadProcessId(WindowId window, uint32_t& processId) override;

private:
    X11WindowList(const X11WindowList&) = delete;
    X11WindowList& operator=(const X11WindowList&) = delete;

    // The window itself when it is a client (has WM_STATE), else the first
    // client found below it, else the window itself.
    WindowId ClientOf(WindowId window);
    bool HasWmState(WindowId window);
    // _NET_WM_NAME or WM_NAME of the window itself. False when it has none.
    bool ReadName(WindowId window, std::string& title);

    _XDisplay* m_x11_display;
    unsigned long m_atom_net_wm_name;
    unsigned long m_atom_net_wm_pid;
    unsigned long m_atom_utf8_string;
    unsigned long m_atom_wm_state;
};
