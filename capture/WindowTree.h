#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/WinHandle.h"
#include "platform/WindowSource.h"

// The visible windows on the screen as a tree, read just before the user
// points at one. Its root is the desktop window; the root's children are
// the top-level windows front to back (with a reparenting window manager,
// its frames); each of those holds every visible window below it, and each
// of those, in turn, the windows below it, with only their rectangles.
// Everything runs on the UI thread.

// Levels walked below a top-level window.
constexpr int WINDOW_TREE_DEPTH = 2;

// Fills the tree of root from the X server of $DISPLAY. root.hwnd is the
// desktop window, or 0 for the screen's root window. 0, or -1 when no X
// server answers.
int BuildWindowTree(WinHandle& root);
// The same, reading the windows from source.
int BuildWindowTree(WindowSource& source, WinHandle& root);

// Appends a record of window to list when it is visible and has an area on
// or below-right of the screen's origin (minimized and empty windows are
// never listed). Always true: the enumeration goes on.
bool AddVisibleWindow(const WindowState& window, std::vector<WinHandle>& list);

// Fills node, lists every visible window below it (all descendants, front
// to back, each before its own children) into node.children, and walks
// them while depth + 1 < maxDepth. Always 0; windows that vanish meanwhile
// are left out.
int WalkChildren(WindowSource& source, WinHandle& node, int depth, int maxDepth);

// rect, title, processId and processName of node's window. -1 when the
// window is gone (rect and title empty, process "unknown").
int FillWindowInfo(WindowSource& source, WinHandle& node);

// Base name of the process's executable into name (WinHandle::TEXT_SIZE
// bytes), from /proc; "unknown" when it cannot be read. 0, or -1 when unknown.
int ProcessNameOf(uint32_t processId, char* name);

// The deepest window of node's tree that contains (x, y), searching each
// level in list order; node itself when no child contains the point; null
// when node does not.
WinHandle* WindowAt(WinHandle& node, int x, int y);

// Copies text into out (size bytes with the terminator), cut so that no
// UTF-8 character is split.
void CopyUtf8(const std::string& text, char* out, size_t size);
