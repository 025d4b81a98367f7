#pragma once

#include <cstdint>
#include <vector>

#include "platform/WindowSource.h"

// A window's outer rectangle in screen pixels; right and bottom exclusive.
struct WinRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// One visible window of the window tree (see capture/WindowTree.h). Records
// are kept by value in their parent's children.
struct WinHandle {
    // Longest title and process name kept, terminator included.
    static constexpr int TEXT_SIZE = 256;

    WinHandle() : hwnd(0), rect{0, 0, 0, 0}, title{}, processName{}, processId(0), depth(0) {}

    WindowId hwnd;
    WinRect rect;
    // UTF-8, cut at a character boundary.
    char title[TEXT_SIZE];
    // Base name of the owning process's executable, or "unknown".
    char processName[TEXT_SIZE];
    uint32_t processId;
    // Windows found below this one, front to back.
    std::vector<WinHandle> children;
    // 0 for top-level windows, 1 for the windows below them.
    int32_t depth;
};
