#pragma once

#include "platform/WindowId.h"

#include <cstdint>
#include <string>
#include <vector>

// Where a window is and whether it shows.
struct WindowState {
    WindowId window;
    // Outer rectangle (border included) in screen pixels; right and bottom exclusive.
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    // Mapped with all its ancestors, and able to show pixels.
    bool visible;
};

// What a window says about itself.
struct WindowInfo {
    // False when the window is gone.
    bool exists;
    // UTF-8; "" when the window has none.
    std::string title;
    // The owning process; 0 when the window does not say.
    uint32_t processId;
};

// What the window tree reads from the window system. Each call asks about
// many windows at once, so that a busy desktop costs a few round trips per
// level of the tree rather than several per window. Any window may have been
// destroyed meanwhile: it then reads as cleared (no children, not visible,
// not existing), it never ends the process.
class WindowSource {
public:
    virtual ~WindowSource() {}

    // The desktop (root) window.
    virtual WindowId DesktopWindow() = 0;
    // children[i]: the windows directly below windows[i], front to back.
    virtual void ListChildren(const std::vector<WindowId>& windows,
                              std::vector<std::vector<WindowId>>& children) = 0;
    // states[i]: where windows[i] is.
    virtual void ReadStates(const std::vector<WindowId>& windows, std::vector<WindowState>& states) = 0;
    // info[i]: title and process of windows[i]; a window manager's frame,
    // which carries neither, answers for the client window inside it.
    virtual void ReadInfo(const std::vector<WindowId>& windows, std::vector<WindowInfo>& info) = 0;
};
