#pragma once

#include "platform/WindowSource.h"
#include "platform/x11/X11Connection.h"

struct xcb_connection_t;

// The window tree's reader, on its own X connection (sharing Qt's would mix
// our requests and errors into its stream). Each call sends the requests for
// all its windows before it waits for the first reply, and takes errors (a
// window that vanished) with the reply, so they only clear that window's
// answer. UI thread only.
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
    // QueryTree lists bottom to top: each list is reversed.
    void ListChildren(const std::vector<WindowId>& windows,
                      std::vector<std::vector<WindowId>>& children) override;
    // Screen rectangle from the geometry and TranslateCoordinates; visible
    // when viewable and not input-only.
    void ReadStates(const std::vector<WindowId>& windows, std::vector<WindowState>& states) override;
    // _NET_WM_NAME, else WM_NAME; _NET_WM_PID. A frame (no WM_STATE, no
    // name) is answered by the first client (WM_STATE) found below it,
    // breadth first, front to back.
    void ReadInfo(const std::vector<WindowId>& windows, std::vector<WindowInfo>& info) override;

private:
    X11WindowList(const X11WindowList&) = delete;
    X11WindowList& operator=(const X11WindowList&) = delete;

    // What the properties of one window say.
    struct Properties {
        bool exists = false;
        bool hasWmState = false;
        bool hasTitle = false;
        bool hasPid = false;
        std::string title;
        uint32_t processId = 0;
    };
    void ReadProperties(const std::vector<WindowId>& windows, std::vector<Properties>& out);

    X11Connection m_conn;
    xcb_connection_t* m_xcb;
    uint32_t m_atom_net_wm_name;
    uint32_t m_atom_net_wm_pid;
    uint32_t m_atom_utf8_string;
    uint32_t m_atom_wm_state;
};
