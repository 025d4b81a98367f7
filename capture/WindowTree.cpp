#include "capture/WindowTree.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "os/OS_Log.h"
#include "platform/x11/X11WindowList.h"

namespace {

const char UNKNOWN_PROCESS[] = "unknown";
// readlink marks an executable replaced since the start with this suffix.
const char DELETED_SUFFIX[] = " (deleted)";

// Every window below a set of windows, read one level at a time: one batch
// of child lists and one of states per level, however many windows there are.
// Below a window that does not show (unmapped, input-only) nothing shows, so
// it is not searched.
struct Snapshot {
    std::unordered_map<WindowId, std::vector<WindowId>> children;
    std::unordered_map<WindowId, WindowState> states;

    void Read(WindowSource& source, std::vector<WindowId> level) {
        while (!level.empty()) {
            std::vector<std::vector<WindowId>> lists;
            source.ListChildren(level, lists);
            std::vector<WindowId> next;
            for (size_t i = 0; i < level.size(); ++i) {
                children[level[i]] = lists[i];
                next.insert(next.end(), lists[i].begin(), lists[i].end());
            }
            std::vector<WindowState> read;
            source.ReadStates(next, read);
            level.clear();
            for (const WindowState& state : read) {
                states[state.window] = state;
                if (state.visible && !children.count(state.window))
                    level.push_back(state.window);
            }
        }
    }

    // The visible windows below window, front to back, each before its own
    // children.
    void AddDescendants(WindowId window, std::vector<WinHandle>& list) const {
        auto found = children.find(window);
        if (found == children.end())
            return;
        for (WindowId child : found->second) {
            auto state = states.find(child);
            if (state == states.end() || !state->second.visible)
                continue;
            AddVisibleWindow(state->second, list);
            AddDescendants(child, list);
        }
    }
};

void FillInfo(WindowSource& source, const std::vector<WinHandle*>& nodes, int depth) {
    std::vector<WindowId> ids;
    for (WinHandle* node : nodes)
        ids.push_back(node->hwnd);
    std::vector<WindowInfo> info;
    source.ReadInfo(ids, info);
    // Most windows belong to a few processes: read each one's name once.
    std::unordered_map<uint32_t, std::string> names;
    for (size_t i = 0; i < nodes.size(); ++i) {
        WinHandle& node = *nodes[i];
        CopyUtf8(info[i].title, node.title, sizeof node.title);
        node.processId = info[i].processId;
        auto known = names.find(node.processId);
        if (known == names.end()) {
            ProcessNameOf(node.processId, node.processName);
            names[node.processId] = node.processName;
        } else {
            CopyUtf8(known->second, node.processName, sizeof node.processName);
        }
        node.depth = depth;
    }
}

// Fills nodes (their rectangles already read), lists the windows below them
// and walks those, level by level.
void Walk(WindowSource& source, Snapshot& snapshot, std::vector<WinHandle*> nodes, int depth, int maxDepth) {
    FillInfo(source, nodes, depth);
    std::vector<WindowId> unread;
    for (WinHandle* node : nodes)
        if (!snapshot.children.count(node->hwnd))
            unread.push_back(node->hwnd);
    snapshot.Read(source, unread);
    std::vector<WinHandle*> below;
    for (WinHandle* node : nodes) {
        snapshot.AddDescendants(node->hwnd, node->children);
        for (WinHandle& child : node->children)
            below.push_back(&child);
    }
    if (depth + 1 < maxDepth && !below.empty())
        Walk(source, snapshot, below, depth + 1, maxDepth);
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
    std::vector<WindowState> rootState;
    source.ReadStates({root.hwnd}, rootState);
    const WindowState& r = rootState[0];
    root.rect = WinRect{r.left, r.top, r.right, r.bottom};
    OS_Log::Debug("ROOT window (desktop) : (%d, %d, %d ,%d)", root.rect.left, root.rect.top,
                  root.rect.right, root.rect.bottom);

    std::vector<std::vector<WindowId>> topLevel;
    source.ListChildren({root.hwnd}, topLevel);
    std::vector<WindowState> states;
    source.ReadStates(topLevel[0], states);
    for (const WindowState& state : states)
        AddVisibleWindow(state, root.children);

    std::vector<WinHandle*> nodes;
    for (WinHandle& child : root.children) {
        OS_Log::Debug("top window: (%d, %d) (%d ,%d) \n", child.rect.left, child.rect.top,
                      child.rect.right, child.rect.bottom);
        nodes.push_back(&child);
    }
    Snapshot snapshot;
    Walk(source, snapshot, nodes, 0, WINDOW_TREE_DEPTH);
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
    std::vector<WindowState> state;
    source.ReadStates({node.hwnd}, state);
    node.rect = WinRect{state[0].left, state[0].top, state[0].right, state[0].bottom};
    Snapshot snapshot;
    Walk(source, snapshot, {&node}, depth, maxDepth);
    return 0;
}

int FillWindowInfo(WindowSource& source, WinHandle& node) {
    std::vector<WindowState> state;
    source.ReadStates({node.hwnd}, state);
    node.rect = WinRect{state[0].left, state[0].top, state[0].right, state[0].bottom};
    std::vector<WindowInfo> info;
    source.ReadInfo({node.hwnd}, info);
    CopyUtf8(info[0].title, node.title, sizeof node.title);
    node.processId = info[0].processId;
    ProcessNameOf(node.processId, node.processName);
    return info[0].exists ? 0 : -1;
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
