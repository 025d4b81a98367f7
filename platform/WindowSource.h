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

// What the window tree reads from the window system. Every call may meet a
// window that has just been destroyed: it then fails with -1 and leaves its
// outputs cleared, it never ends the process.
class WindowSource {
public:
    virtual ~WindowSource() {}

    // The desktop (root) window.
    virtual WindowId DesktopWindow() = 0;
    // Windows directly below window, front to back.
    virtual int ListChildren(WindowId window, std::vector<WindowId>& children) = 0;
    virtual int ReadState(WindowId window, WindowState& state) = 0;
    // The title in UTF-8; "" when the window has none.
    virtual int ReadTitle(WindowId window, std::string& title) = 0;
    // The owning process; 0 when the window does not say.
    virtual int ReadProcessId(WindowId window, uint32_t& processId) = 0;
};
