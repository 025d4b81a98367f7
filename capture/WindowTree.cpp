#include "capture/WindowTree.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "os/OS_Log.h"
#include "platform/x11/X11WindowList.h"

namespace {

const char UNKNOWN_PROCESS[] = "unknown";
// readlink marks an executable replaced since the start with this suffix.
const char DELETED_SUFFIX[] = " (deleted)";

// Every window below window, front to back, each before its own children.
void ListDescendants(WindowSource& source, WindowId window, std::vector<WindowId>& out) {
    std::vector<WindowId> children;
    source.ListChildren(window, children);
    for (WindowId child : children) {
        out.push_back(child);
        ListDescendants(source, child, out);
    }
}

// A vanished window reads as cleared state, which is not visible.
void AddVisibleWindows(WindowSource& source, const std::vector<WindowId>& windows,
                       std::vector<WinHandle>& list) {
    for (WindowId window : windows) {
        WindowState state;
        source.ReadState(window, state);
        AddVisibleWindow(state, list);
    }
}

// Lists the windows below an already filled node and walks them.
void ListBelow(WindowSource& source, WinHandle& node, int depth, int maxDepth) {
    std::vector<WindowId> descendants;
    ListDescendants(source, node.hwnd, descendants);
    AddVisibleWindows(source, descendants, node.children);
    if (depth + 1 >= maxDepth)
        return;
    for (WinHandle& child : node.children)
        WalkChildren(source, child, depth + 1, maxDepth);
}

bool ReadExecutableName(uint32_t processId, std::string& name) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%u/exe", processId);
    char target[4096];
    ssize_t length = readlink(path, target, sizeof target - 1);
    if (length <= 0)
        return false;
    std::string file(target, static_cast<size_t>(length));
    size_t suffix = sizeof DELETED_SUFFIX - 1;
    if (file.size() > suffix && file.compare(file.size() - suffix, suffix, DELETED_SUFFIX) == 0)
        file.resize(file.size() - suffix);
    size_t slash = file.rfind('/');
    name = slash == std::string::npos ? file : file.substr(slash + 1);
    return !name.empty();
}

// Another user's process hides its executable but not its command name.
bool ReadCommandName(uint32_t processId, std::string& name) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%u/comm", processId);
    FILE* file = fopen(path, "r");
    if (!file)
        return false;
    char line[256] = "";
    bool read = fgets(line, sizeof line, file) != nullptr;
    fclose(file);
    if (!read)
        return false;
    name = line;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    return !name.empty();
}

}  // namespace

int BuildWindowTree(WinHandle& root) {
    X11WindowList windows;
    if (windows.Open() != 0)
        return -1;
    int rc = BuildWindowTree(windows, root);
    windows.Close();
    return rc;
}

int BuildWindowTree(WindowSource& source, WinHandle& root) {
    if (root.hwnd == 0)
        root.hwnd = source.DesktopWindow();
    WindowState state;
    source.ReadState(root.hwnd, state);
    root.rect = WinRect{state.left, state.top, state.right, state.bottom};
    OS_Log::Debug("ROOT window (desktop) : (%d, %d, %d ,%d)", root.rect.left, root.rect.top,
                  root.rect.right, root.rect.bottom);

    std::vector<WindowId> topLevel;
    source.ListChildren(root.hwnd, topLevel);
    AddVisibleWindows(source, topLevel, root.children);

    for (WinHandle& child : root.children) {
        FillWindowInfo(source, child);
        OS_Log::Debug("top window: (%d, %d) (%d ,%d) \n", child.rect.left, child.rect.top,
                      child.rect.right, child.rect.bottom);
        child.depth = 0;
        ListBelow(source, child, 0, WINDOW_TREE_DEPTH);
    }
    return 0;
}

bool AddVisibleWindow(const WindowState& window, std::vector<WinHandle>& list) {
    WinHandle record;
    record.hwnd = window.window;
    record.rect = WinRect{window.left, window.top, window.right, window.bottom};
    const WinRect& r = record.rect;
    // Entirely above or left of the screen's origin (minimized windows are
    // moved there), or empty.
    if (r.right < 1 || r.bottom <= 0 || r.right <= r.left || r.bottom <= r.top)
        return true;
    if (window.visible)
        list.push_back(record);
    return true;
}

int WalkChildren(WindowSource& source, WinHandle& node, int depth, int maxDepth) {
    FillWindowInfo(source, node);
    node.depth = depth;
    ListBelow(source, node, depth, maxDepth);
    return 0;
}

int FillWindowInfo(WindowSource& source, WinHandle& node) {
    WindowState state;
    int rc = source.ReadState(node.hwnd, state);
    node.rect = WinRect{state.left, state.top, state.right, state.bottom};
    std::string title;
    if (rc == 0)
        rc = source.ReadTitle(node.hwnd, title);
    CopyUtf8(title, node.title, sizeof node.title);
    node.processId = 0;
    if (rc == 0)
        rc = source.ReadProcessId(node.hwnd, node.processId);
    ProcessNameOf(node.processId, node.processName);
    return rc;
}

int ProcessNameOf(uint32_t processId, char* name) {
    std::string found;
    if (processId != 0 && (ReadExecutableName(processId, found) || ReadCommandName(processId, found))) {
        CopyUtf8(found, name, WinHandle::TEXT_SIZE);
        return 0;
    }
    CopyUtf8(UNKNOWN_PROCESS, name, WinHandle::TEXT_SIZE);
    return -1;
}

WinHandle* WindowAt(WinHandle& node, int x, int y) {
    const WinRect& r = node.rect;
    if (!(r.left <= x && x < r.right && r.top <= y && y < r.bottom))
        return nullptr;
    for (WinHandle& child : node.children) {
        WinHandle* hit = WindowAt(child, x, y);
        if (hit)
            return hit;
    }
    return &node;
}

void CopyUtf8(const std::string& text, char* out, size_t size) {
    if (size == 0)
        return;
    size_t length = text.size() < size - 1 ? text.size() : size - 1;
    // Step back over continuation bytes (10xxxxxx) to the start of the
    // character that does not fit whole.
    if (length < text.size()) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    memcpy(out, text.data(), length);
    out[length] = '\0';
}
