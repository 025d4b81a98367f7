#include <QApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <unistd.h>

#include "capture/WindowTree.h"
#include "platform/x11/X11WindowList.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"

namespace {

WinHandle Node(WindowId id, int left, int top, int right, int bottom) {
    WinHandle node;
    node.hwnd = id;
    node.rect = WinRect{left, top, right, bottom};
    return node;
}

// Finds the record of window anywhere below node.
const WinHandle* Find(const WinHandle& node, WindowId window) {
    if (node.hwnd == window)
        return &node;
    for (const WinHandle& child : node.children) {
        const WinHandle* found = Find(child, window);
        if (found)
            return found;
    }
    return nullptr;
}

bool ValidUtf8(const char* text) {
    return QString::fromUtf8(text).toUtf8() == QByteArray(text);
}

// A window system the test lays out: each window's state, title, process
// and children front to back. Windows not in the map read as vanished.
class LaidOutWindows : public WindowSource {
public:
    struct Window {
        WindowState state;
        std::string title;
        uint32_t processId;
        std::vector<WindowId> children;
    };

    explicit LaidOutWindows(WindowId root) : m_root(root) {
        windows[root] = Window{WindowState{root, 0, 0, 1920, 1080, true}, "", 0, {}};
    }
    void Add(WindowId parent, WindowId id, int left, int top, int right, int bottom, bool visible = true,
             const std::string& title = "", uint32_t processId = 0) {
        windows[id] = Window{WindowState{id, left, top, right, bottom, visible}, title, processId, {}};
        windows[parent].children.push_back(id);
    }

    WindowId DesktopWindow() override { return m_root; }
    int ListChildren(WindowId window, std::vector<WindowId>& children) override {
        children.clear();
        auto it = windows.find(window);
        if (it == windows.end())
            return -1;
        children = it->second.children;
        return 0;
    }
    int ReadState(WindowId window, WindowState& state) override {
        auto it = windows.find(window);
        state = it == windows.end() ? WindowState{window, 0, 0, 0, 0, false} : it->second.state;
        return it == windows.end() ? -1 : 0;
    }
    int ReadTitle(WindowId window, std::string& title) override {
        auto it = windows.find(window);
        title = it == windows.end() ? "" : it->second.title;
        return it == windows.end() ? -1 : 0;
    }
    int ReadProcessId(WindowId window, uint32_t& processId) override {
        auto it = windows.find(window);
        processId = it == windows.end() ? 0 : it->second.processId;
        return it == windows.end() ? -1 : 0;
    }

    std::map<WindowId, Window> windows;

private:
    WindowId m_root;
};

}  // namespace

TEST(WindowTreeRules, AddVisibleWindowKeepsOnlyVisibleWindowsWithAnArea) {
    std::vector<WinHandle> list;
    struct Case {
        WindowState state;
        bool kept;
    } cases[] = {
        {{1, 10, 10, 200, 100, true}, true},
        {{2, 10, 10, 200, 100, false}, false},                         // unmapped
        {{3, -32000, -32000, -31840, -31972, true}, false},            // minimized, moved off the screen
        {{4, -300, 10, 0, 100, true}, false},                          // right < 1
        {{5, 10, -300, 200, 0, true}, false},                          // bottom <= 0
        {{6, 50, 10, 50, 100, true}, false},                           // no width
        {{7, 10, 60, 200, 60, true}, false},                           // no height
        {{8, -50, -20, 1, 1, true}, true},                             // one pixel on the screen
        {{9, 1900, 1000, 2500, 1500, true}, true},                     // partly off the right edge
    };
    for (const Case& c : cases)
        EXPECT_TRUE(AddVisibleWindow(c.state, list)) << "the enumeration must go on";
    std::vector<WindowId> kept;
    for (const WinHandle& node : list)
        kept.push_back(node.hwnd);
    EXPECT_EQ(kept, (std::vector<WindowId>{1, 8, 9}));
    EXPECT_EQ(list[0].rect.left, 10);
    EXPECT_EQ(list[0].rect.bottom, 100);
}

TEST(WindowTreeRules, WindowAtFindsTheDeepestFrontmostWindow) {
    WinHandle root = Node(1, 0, 0, 1920, 1080);
    root.children.push_back(Node(10, 100, 100, 500, 400));  // front
    root.children.push_back(Node(20, 300, 200, 800, 600));  // behind it
    WinHandle& front = root.children[0];
    front.children.push_back(Node(11, 120, 150, 200, 180));  // a control
    front.children[0].children.push_back(Node(12, 130, 155, 140, 165));

    EXPECT_EQ(WindowAt(root, 350, 250)->hwnd, 10u) << "overlap: the front window";
    EXPECT_EQ(WindowAt(root, 600, 500)->hwnd, 20u);
    EXPECT_EQ(WindowAt(root, 150, 160)->hwnd, 11u) << "over a control: the control";
    EXPECT_EQ(WindowAt(root, 135, 160)->hwnd, 12u) << "and the control's own child";
    EXPECT_EQ(WindowAt(root, 1000, 900), &root) << "over no window: the desktop";
    EXPECT_EQ(WindowAt(root, -1, 10), nullptr);
    EXPECT_EQ(WindowAt(root, 1920, 10), nullptr) << "right and bottom are exclusive";
    EXPECT_EQ(WindowAt(root, 500, 300)->hwnd, 20u) << "x = right of the front window is outside it";
    EXPECT_EQ(WindowAt(root, 100, 100)->hwnd, 10u) << "left and top are inclusive";
}

TEST(WindowTreeRules, TreeIsFrontToBackVisibleOnlyAndTwoLevelsDeep) {
    LaidOutWindows windows(1);
    uint32_t self = static_cast<uint32_t>(getpid());
    windows.Add(1, 10, 100, 100, 600, 500, true, "front", self);
    windows.Add(1, 20, 0, 0, 0, 0, true, "empty");
    windows.Add(1, 30, 200, 200, 700, 600, false, "hidden");
    windows.Add(1, 40, -32000, -32000, -31840, -31972, true, "minimized");
    windows.Add(1, 50, 300, 300, 900, 700, true, "back", 0);
    windows.Add(1, 60, 0, 0, 10, 10, true, "vanishes");
    windows.windows.erase(60);
    // Below "front": a control holding a panel holding a button holding a dot.
    windows.Add(10, 11, 110, 110, 300, 300, true, "control", self);
    windows.Add(11, 12, 120, 120, 200, 200, true, "panel", self);
    windows.Add(12, 13, 130, 130, 150, 150, true, "button", self);
    windows.Add(13, 14, 135, 135, 140, 140, true, "dot", self);
    windows.Add(10, 15, 400, 400, 500, 450, false, "hidden control");

    WinHandle root;
    ASSERT_EQ(BuildWindowTree(windows, root), 0);
    EXPECT_EQ(root.hwnd, 1u) << "no desktop given: the source's";
    EXPECT_EQ(root.rect.right, 1920);

    ASSERT_EQ(root.children.size(), 2u);
    const WinHandle& front = root.children[0];
    EXPECT_EQ(front.hwnd, 10u);
    EXPECT_EQ(root.children[1].hwnd, 50u);
    EXPECT_STREQ(front.title, "front");
    EXPECT_EQ(front.processId, self);
    EXPECT_STREQ(front.processName, "WindowTreeTest");
    EXPECT_STREQ(root.children[1].processName, "unknown");
    EXPECT_EQ(front.depth, 0);

    // All descendants, each before its own children; the hidden one left out.
    std::vector<WindowId> below;
    for (const WinHandle& node : front.children)
        below.push_back(node.hwnd);
    EXPECT_EQ(below, (std::vector<WindowId>{11, 12, 13, 14}));
    const WinHandle& control = front.children[0];
    EXPECT_EQ(control.depth, 1);
    EXPECT_STREQ(control.title, "control");
    ASSERT_EQ(control.children.size(), 3u);
    // The third level has rectangles only and is not searched further.
    const WinHandle& panel = control.children[0];
    EXPECT_EQ(panel.hwnd, 12u);
    EXPECT_EQ(panel.rect.left, 120);
    EXPECT_STREQ(panel.title, "");
    EXPECT_TRUE(panel.children.empty());

    EXPECT_EQ(WindowAt(root, 137, 137)->hwnd, 12u)
        << "the panel's own list is not searched: it is the deepest found";
}

TEST(WindowTreeRules, TitlesAndProcessNamesAreCutWholeCharacters) {
    char text[WinHandle::TEXT_SIZE];
    std::string accents;
    for (int i = 0; i < 200; ++i)
        accents += "\xc3\xa9";  // é, two bytes
    CopyUtf8(accents, text, sizeof text);
    EXPECT_EQ(strlen(text), 254u) << "255 bytes would split the last character";
    EXPECT_TRUE(ValidUtf8(text));

    std::string chinese;
    for (int i = 0; i < 100; ++i)
        chinese += "录";  // three bytes
    CopyUtf8(chinese, text, sizeof text);
    EXPECT_EQ(strlen(text), 255u);
    EXPECT_TRUE(ValidUtf8(text));

    CopyUtf8("short", text, sizeof text);
    EXPECT_STREQ(text, "short");

    char name[WinHandle::TEXT_SIZE];
    EXPECT_EQ(ProcessNameOf(static_cast<uint32_t>(getpid()), name), 0);
    EXPECT_STREQ(name, "WindowTreeTest");
    EXPECT_EQ(ProcessNameOf(0, name), -1);
    EXPECT_STREQ(name, "unknown");
    EXPECT_EQ(ProcessNameOf(4000000000u, name), -1);
    EXPECT_STREQ(name, "unknown");
}

// ---- the same over real windows on the X server

class WindowTreeX11 : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        GuiTestApp();
    }
    void TearDown() override {
        for (QWidget* window : m_windows)
            delete window;
        QGuiApplication::sync();
    }
    QWidget* Show(const QRect& rect, const QColor& colour, const QString& title) {
        m_windows.push_back(ShowTestWindow(rect, colour, title));
        return m_windows.back();
    }
    WinHandle Build() {
        WinHandle root;
        EXPECT_EQ(BuildWindowTree(root), 0);
        return root;
    }

    std::vector<QWidget*> m_windows;
};

TEST_F(WindowTreeX11, OverlapPicksTheFrontWindowAndControlsAreFound) {
    QWidget* first = Show(QRect(100, 100, 400, 300), Qt::darkCyan, "first");
    QWidget* second = Show(QRect(300, 200, 400, 300), Qt::darkMagenta, "second");
    QWidget* control = AddNativeChild(first, QRect(20, 40, 80, 30), Qt::darkBlue);
    second->raise();
    QGuiApplication::sync();

    WinHandle root = Build();
    EXPECT_EQ(WindowAt(root, 350, 250)->hwnd, second->winId());
    EXPECT_EQ(WindowAt(root, 450, 150)->hwnd, first->winId());
    WinHandle* hit = WindowAt(root, 130, 150);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->hwnd, control->winId()) << "the control, not its window";
    EXPECT_EQ(hit->rect.left, 120);
    EXPECT_EQ(hit->rect.top, 140);
    EXPECT_EQ(hit->rect.right, 200);
    EXPECT_EQ(hit->rect.bottom, 170);

    first->raise();
    QGuiApplication::sync();
    root = Build();
    EXPECT_EQ(WindowAt(root, 350, 250)->hwnd, first->winId()) << "raised: now in front";
}

TEST_F(WindowTreeX11, OverNoWindowTheDesktopAndHiddenWindowsAreLeftOut) {
    QWidget* shown = Show(QRect(100, 100, 300, 200), Qt::darkGreen, "shown");
    QWidget* hidden = Show(QRect(500, 100, 300, 200), Qt::darkRed, "hidden");
    hidden->hide();
    QWidget* never = new QWidget();
    m_windows.push_back(never);
    never->setGeometry(900, 100, 300, 200);
    WindowId neverId = never->winId();  // an X window that was never mapped
    QGuiApplication::sync();

    WinHandle root = Build();
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(root.rect.left, 0);
    EXPECT_EQ(root.rect.right, screen.width());
    EXPECT_EQ(root.rect.bottom, screen.height());
    EXPECT_EQ(WindowAt(root, screen.width() - 5, screen.height() - 5), &root);
    EXPECT_EQ(WindowAt(root, 600, 150), &root) << "the hidden window is not there";
    EXPECT_NE(Find(root, shown->winId()), nullptr);
    EXPECT_EQ(Find(root, hidden->winId()), nullptr);
    EXPECT_EQ(Find(root, neverId), nullptr);
}

TEST_F(WindowTreeX11, TitlesAreUtf8AndTheProcessIsNamed) {
    QString title = QString::fromUtf8("录像测试 — ünïcode");
    QWidget* window = Show(QRect(200, 200, 300, 200), Qt::darkYellow, title);
    WinHandle root = Build();
    const WinHandle* node = Find(root, window->winId());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(QString::fromUtf8(node->title), title);
    EXPECT_EQ(node->processId, static_cast<uint32_t>(getpid()));
    EXPECT_STREQ(node->processName, "WindowTreeTest");
    EXPECT_EQ(node->depth, 0);
}

TEST_F(WindowTreeX11, NestedControlsStopAtTheDepthLimit) {
    QWidget* window = Show(QRect(100, 100, 400, 300), Qt::darkCyan, "nested");
    QWidget* a = AddNativeChild(window, QRect(10, 30, 300, 200), Qt::darkBlue);
    QWidget* b = AddNativeChild(a, QRect(10, 10, 200, 150), Qt::blue);
    QWidget* c = AddNativeChild(b, QRect(10, 10, 100, 100), Qt::darkGray);
    QWidget* d = AddNativeChild(c, QRect(10, 10, 50, 50), Qt::gray);

    WinHandle root = Build();
    const WinHandle* top = Find(root, window->winId());
    ASSERT_NE(top, nullptr);
    std::vector<WindowId> below;
    for (const WinHandle& node : top->children)
        below.push_back(node.hwnd);
    EXPECT_EQ(below, (std::vector<WindowId>{a->winId(), b->winId(), c->winId(), d->winId()}));
    const WinHandle& first = top->children[0];
    EXPECT_EQ(first.depth, 1);
    EXPECT_EQ(first.processId, static_cast<uint32_t>(getpid()));
    ASSERT_EQ(first.children.size(), 3u);
    EXPECT_TRUE(first.children[0].children.empty()) << "the third level is not searched";
    EXPECT_EQ(first.children[0].processId, 0u) << "nor filled in";
    // Over d: found as b, whose own list is not searched.
    EXPECT_EQ(WindowAt(root, 145, 165)->hwnd, b->winId());
}

// The real reader, with a hook run after each of its calls.
class HookedWindows : public WindowSource {
public:
    std::function<void(const char* call, WindowId window)> after;

    int Open() { return m_x11.Open(); }
    WindowId DesktopWindow() override { return m_x11.DesktopWindow(); }
    int ListChildren(WindowId window, std::vector<WindowId>& children) override {
        int rc = m_x11.ListChildren(window, children);
        after("list", window);
        return rc;
    }
    int ReadState(WindowId window, WindowState& state) override {
        int rc = m_x11.ReadState(window, state);
        after("state", window);
        return rc;
    }
    int ReadTitle(WindowId window, std::string& title) override {
        int rc = m_x11.ReadTitle(window, title);
        after("title", window);
        return rc;
    }
    int ReadProcessId(WindowId window, uint32_t& processId) override {
        int rc = m_x11.ReadProcessId(window, processId);
        after("pid", window);
        return rc;
    }

private:
    X11WindowList m_x11;
};

TEST_F(WindowTreeX11, WindowsDestroyedDuringTheWalkAreSkippedWithoutCrashing) {
    QWidget* stays = Show(QRect(100, 100, 300, 200), Qt::darkGreen, "stays");
    QWidget* listedThenGone = Show(QRect(500, 100, 300, 200), Qt::darkRed, "gone after listing");
    QWidget* readThenGone = Show(QRect(900, 100, 300, 200), Qt::darkBlue, "gone while read");
    AddNativeChild(readThenGone, QRect(10, 30, 50, 50), Qt::blue);
    WindowId listedId = listedThenGone->winId();
    WindowId readId = readThenGone->winId();

    HookedWindows windows;
    ASSERT_EQ(windows.Open(), 0);
    int statesOfRead = 0;
    windows.after = [&](const char* call, WindowId window) {
        auto destroy = [this](QWidget*& widget) {
            m_windows.erase(std::find(m_windows.begin(), m_windows.end(), widget));
            delete widget;
            widget = nullptr;
            QGuiApplication::sync();
        };
        if (std::string(call) == "list" && window == windows.DesktopWindow() && listedThenGone)
            destroy(listedThenGone);
        // The second read of its state is FillWindowInfo's: the title is next.
        if (std::string(call) == "state" && window == readId && ++statesOfRead == 2)
            destroy(readThenGone);
    };
    WinHandle root;
    ASSERT_EQ(BuildWindowTree(windows, root), 0);

    EXPECT_NE(Find(root, stays->winId()), nullptr);
    EXPECT_STREQ(Find(root, stays->winId())->title, "stays");
    EXPECT_EQ(Find(root, listedId), nullptr) << "gone before its state was read";
    const WinHandle* read = Find(root, readId);
    ASSERT_NE(read, nullptr) << "it was visible when listed";
    EXPECT_STREQ(read->title, "");
    EXPECT_STREQ(read->processName, "unknown");
    EXPECT_TRUE(read->children.empty());

    // The reader keeps working on its connection afterwards.
    X11WindowList direct;
    ASSERT_EQ(direct.Open(), 0);
    WindowState state;
    std::string title;
    std::vector<WindowId> children;
    uint32_t processId = 1;
    EXPECT_EQ(direct.ReadState(readId, state), -1);
    EXPECT_EQ(direct.ReadTitle(readId, title), -1);
    EXPECT_EQ(direct.ListChildren(readId, children), -1);
    EXPECT_EQ(direct.ReadProcessId(readId, processId), -1);
    EXPECT_EQ(processId, 0u);
    EXPECT_EQ(direct.ReadState(stays->winId(), state), 0);
    EXPECT_EQ(state.left, 100);
    EXPECT_TRUE(state.visible);
    direct.Close();
    direct.Close();
}

// A reparenting window manager on the private display for one test.
class WindowManager {
public:
    explicit WindowManager(const TempDir& dir) {
        std::string rc = dir.File("twmrc");
        // Xvfb has only the "fixed" core font.
        WriteFileText(rc,
                      "RandomPlacement\nUsePPosition \"on\"\nNoGrabServer\n"
                      "TitleFont \"fixed\"\nResizeFont \"fixed\"\nMenuFont \"fixed\"\n"
                      "IconFont \"fixed\"\nIconManagerFont \"fixed\"\n");
        std::string pid = RunCommand("twm -f '" + rc + "' >/dev/null 2>&1 & echo $!");
        m_pid = atoi(pid.c_str());
    }
    ~WindowManager() {
        if (m_pid > 0)
            RunCommand("kill " + std::to_string(m_pid) + "; while kill -0 " + std::to_string(m_pid) +
                       " 2>/dev/null; do sleep 0.05; done");
    }
    bool Running() const { return m_pid > 0; }

private:
    int m_pid = 0;
};

TEST_F(WindowTreeX11, UnderAWindowManagerTheFrameIsTheTopLevelWindow) {
    TempDir dir;
    WindowManager manager(dir);
    ASSERT_TRUE(manager.Running());
    QString title = QString::fromUtf8("framed — 窗口");
    QWidget* client = new QWidget();
    m_windows.push_back(client);
    client->setWindowTitle(title);
    client->setGeometry(300, 200, 400, 300);
    client->show();

    // Wait until the manager has put the client into a frame.
    X11WindowList x11;
    ASSERT_EQ(x11.Open(), 0);
    WindowId frame = 0;
    ProcessEventsUntil([&] {
        std::vector<WindowId> topLevel;
        x11.ListChildren(x11.DesktopWindow(), topLevel);
        for (WindowId window : topLevel) {
            std::vector<WindowId> children;
            x11.ListChildren(window, children);
            if (std::find(children.begin(), children.end(), client->winId()) != children.end())
                frame = window;
        }
        return frame != 0;
    }, 10000);
    ASSERT_NE(frame, 0u) << "twm did not reparent the window";
    ProcessEventsFor(300);

    WinHandle root = Build();
    const WinHandle* top = Find(root, frame);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->depth, 0);
    EXPECT_EQ(QString::fromUtf8(top->title), title) << "the frame is named after its client";
    EXPECT_EQ(top->processId, static_cast<uint32_t>(getpid()));
    EXPECT_STREQ(top->processName, "WindowTreeTest");
    EXPECT_EQ(Find(root, client->winId())->depth, 1);

    QPoint centre = client->mapToGlobal(client->rect().center());
    WinHandle* hit = WindowAt(root, centre.x(), centre.y());
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->hwnd, client->winId()) << "inside the frame, the client";
    for (const WinHandle& child : root.children) {
        const WinRect& r = child.rect;
        if (r.left <= centre.x() && centre.x() < r.right && r.top <= centre.y() && centre.y() < r.bottom) {
            EXPECT_EQ(child.hwnd, frame) << "the frontmost top-level window there is the frame";
            break;
        }
    }
    // The frame is larger than its client: it holds the title bar.
    EXPECT_LT(top->rect.top, Find(root, client->winId())->rect.top);
}
