#include <QApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <functional>
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

// The record of window anywhere below node.
const WinHandle* Find(const WinHandle& node, WindowId window) {
    if (node.hwnd == window)
        return &node;
    for (const WinHandle& child : node.children)
        if (const WinHandle* found = Find(child, window))
            return found;
    return nullptr;
}

std::vector<WindowId> Ids(const std::vector<WinHandle>& list) {
    std::vector<WindowId> ids;
    for (const WinHandle& node : list)
        ids.push_back(node.hwnd);
    return ids;
}

const uint32_t SELF = static_cast<uint32_t>(getpid());

}  // namespace

TEST(WindowTreeRules, OnlyVisibleWindowsWithAnAreaOnTheScreenAreListed) {
    std::vector<WinHandle> list;
    const WindowState states[] = {
        {1, 10, 10, 200, 100, true},     {2, 10, 10, 200, 100, false},  // unmapped
        {3, -32000, -32000, -31840, -31972, true},                      // minimized
        {4, -300, 10, 0, 100, true},     {5, 10, -300, 200, 0, true},   // left of / above the screen
        {6, 50, 10, 50, 100, true},      {7, 10, 60, 200, 60, true},    // no width / no height
        {8, -50, -20, 1, 1, true},       {9, 1900, 1000, 2500, 1500, true},  // one pixel / partly on it
    };
    for (const WindowState& state : states)
        EXPECT_TRUE(AddVisibleWindow(state, list)) << "the enumeration must go on";
    EXPECT_EQ(Ids(list), (std::vector<WindowId>{1, 8, 9}));
}

TEST(WindowTreeRules, HitTestFindsTheDeepestFrontmostWindowElseTheDesktop) {
    WinHandle root = Node(1, 0, 0, 1920, 1080);
    root.children = {Node(10, 100, 100, 500, 400), Node(20, 300, 200, 800, 600)};  // front to back
    root.children[0].children.push_back(Node(11, 120, 150, 200, 180));             // a control
    root.children[0].children[0].children.push_back(Node(12, 130, 155, 140, 165));
    const struct {
        int x, y;
        WindowId hit;  // 0: none
    } cases[] = {{350, 250, 10}, {600, 500, 20},  {150, 160, 11},  {135, 160, 12}, {1000, 900, 1},
                 {-1, 10, 0},    {1920, 10, 0},   {500, 300, 20},  {100, 100, 10}};  // right/bottom exclusive
    for (const auto& c : cases) {
        WinHandle* hit = WindowAt(root, c.x, c.y);
        EXPECT_EQ(hit ? hit->hwnd : 0, c.hit) << c.x << "," << c.y;
    }
}

TEST(WindowTreeRules, TextIsCutAtWholeCharactersAndProcessesAreNamed) {
    char text[WinHandle::TEXT_SIZE];
    for (const char* character : {"\xc3\xa9", "录"}) {  // two and three bytes
        std::string longText;
        while (longText.size() < 400)
            longText += character;
        CopyUtf8(longText, text, sizeof text);
        EXPECT_GE(strlen(text), sizeof text - strlen(character));
        EXPECT_EQ(QString::fromUtf8(text).toUtf8(), QByteArray(text)) << "no character split";
    }
    EXPECT_EQ(ProcessNameOf(SELF, text), 0);
    EXPECT_STREQ(text, "WindowTreeTest");
    EXPECT_EQ(ProcessNameOf(4000000000u, text), -1);
    EXPECT_STREQ(text, "unknown");
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

TEST_F(WindowTreeX11, FrontWindowControlsDesktopAndNoHiddenWindows) {
    QString title = QString::fromUtf8("录像测试 — ünïcode");
    QWidget* first = Show(QRect(100, 100, 400, 300), Qt::darkCyan, title);
    QWidget* second = Show(QRect(300, 200, 400, 300), Qt::darkMagenta, "second");
    QWidget* control = AddNativeChild(first, QRect(20, 40, 80, 30), Qt::darkBlue);
    QWidget* hidden = Show(QRect(800, 100, 300, 200), Qt::darkRed, "hidden");
    hidden->hide();
    QWidget* never = new QWidget();  // an X window that is never mapped
    m_windows.push_back(never);
    never->setGeometry(1200, 100, 300, 200);
    WindowId neverId = never->winId();
    second->raise();
    QGuiApplication::sync();

    WinHandle root = Build();
    EXPECT_EQ(WindowAt(root, 350, 250)->hwnd, second->winId());
    EXPECT_EQ(WindowAt(root, 450, 150)->hwnd, first->winId());
    WinHandle* hit = WindowAt(root, 130, 150);
    EXPECT_EQ(hit->hwnd, control->winId()) << "the control, not its window";
    EXPECT_EQ(QRect(hit->rect.left, hit->rect.top, hit->rect.right - hit->rect.left, hit->rect.bottom - hit->rect.top),
              QRect(120, 140, 80, 30));
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(root.rect.right, screen.width());
    EXPECT_EQ(root.rect.bottom, screen.height());
    EXPECT_EQ(WindowAt(root, 900, 150), &root) << "over the hidden window: the desktop";
    EXPECT_EQ(Find(root, hidden->winId()), nullptr);
    EXPECT_EQ(Find(root, neverId), nullptr);
    const WinHandle* node = Find(root, first->winId());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(QString::fromUtf8(node->title), title);
    EXPECT_EQ(node->processId, SELF);
    EXPECT_STREQ(node->processName, "WindowTreeTest");

    first->raise();
    QGuiApplication::sync();
    root = Build();
    EXPECT_EQ(WindowAt(root, 350, 250)->hwnd, first->winId()) << "raised: now in front";
}

TEST_F(WindowTreeX11, NestedControlsStopAtTheDepthLimit) {
    QWidget* window = Show(QRect(100, 100, 400, 300), Qt::darkCyan, "nested");
    std::vector<WindowId> nested;
    QWidget* parent = window;
    for (int level = 0; level < 4; ++level) {
        parent = AddNativeChild(parent, level ? QRect(10, 10, 200 - 50 * level, 150 - 40 * level)
                                              : QRect(10, 30, 300, 200), Qt::darkBlue);
        nested.push_back(parent->winId());
    }

    WinHandle root = Build();
    const WinHandle* top = Find(root, window->winId());
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->depth, 0);
    EXPECT_EQ(Ids(top->children), nested) << "every descendant, each before its own children";
    const WinHandle& first = top->children[0];
    EXPECT_EQ(first.depth, 1);
    EXPECT_EQ(first.processId, SELF);
    ASSERT_EQ(first.children.size(), 3u);
    EXPECT_TRUE(first.children[0].children.empty()) << "the third level is not searched";
    EXPECT_EQ(first.children[0].processId, 0u) << "nor filled in";
    EXPECT_EQ(WindowAt(root, 145, 165)->hwnd, nested[1]) << "over the deepest: its level-two ancestor";
}

// The real reader, with a hook run after it lists or reads a window's state.
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
    int ReadTitle(WindowId window, std::string& title) override { return m_x11.ReadTitle(window, title); }
    int ReadProcessId(WindowId window, uint32_t& id) override { return m_x11.ReadProcessId(window, id); }

private:
    X11WindowList m_x11;
};

TEST_F(WindowTreeX11, WindowsDestroyedDuringTheWalkAreSkippedWithoutCrashing) {
    QWidget* stays = Show(QRect(100, 100, 300, 200), Qt::darkGreen, "stays");
    QWidget* listedThenGone = Show(QRect(500, 100, 300, 200), Qt::darkRed, "gone after listing");
    QWidget* readThenGone = Show(QRect(900, 100, 300, 200), Qt::darkBlue, "gone while read");
    AddNativeChild(readThenGone, QRect(10, 30, 50, 50), Qt::blue);
    WindowId listedId = listedThenGone->winId(), readId = readThenGone->winId();

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

    ASSERT_NE(Find(root, stays->winId()), nullptr);
    EXPECT_STREQ(Find(root, stays->winId())->title, "stays");
    EXPECT_EQ(Find(root, listedId), nullptr) << "gone before its state was read";
    const WinHandle* read = Find(root, readId);
    ASSERT_NE(read, nullptr) << "it was visible when listed";
    EXPECT_STREQ(read->title, "");
    EXPECT_STREQ(read->processName, "unknown");
    EXPECT_TRUE(read->children.empty());
    // The reader's connection keeps working afterwards.
    WindowState state;
    EXPECT_EQ(windows.ReadState(stays->winId(), state), 0);
    EXPECT_EQ(state.left, 100);
}

TEST_F(WindowTreeX11, UnderAWindowManagerTheFrameIsTheTopLevelWindow) {
    TempDir dir;
    // A reparenting window manager; Xvfb has only the "fixed" core font.
    WriteFileText(dir.File("twmrc"), "RandomPlacement\nUsePPosition \"on\"\nNoGrabServer\nTitleFont \"fixed\"\n"
                                     "ResizeFont \"fixed\"\nMenuFont \"fixed\"\nIconFont \"fixed\"\n"
                                     "IconManagerFont \"fixed\"\n");
    struct Stopper {
        int pid;
        ~Stopper() {
            if (pid <= 0)
                return;
            std::string p = std::to_string(pid);
            RunCommand("kill " + p + "; while kill -0 " + p + " 2>/dev/null; do sleep 0.05; done");
        }
    } twm{atoi(RunCommand("twm -f '" + dir.File("twmrc") + "' >/dev/null 2>&1 & echo $!").c_str())};
    ASSERT_GT(twm.pid, 0);
    QString title = QString::fromUtf8("framed — 窗口");
    QWidget* client = new QWidget();
    m_windows.push_back(client);
    client->setWindowTitle(title);
    client->setGeometry(300, 200, 400, 300);
    client->show();

    WinHandle root;
    const WinHandle* frame = nullptr;
    ProcessEventsUntil([&] {
        root = Build();
        frame = nullptr;
        for (const WinHandle& top : root.children)
            if (top.hwnd != client->winId() && Find(top, client->winId()))
                frame = &top;
        return frame != nullptr;
    }, 10000);
    ASSERT_NE(frame, nullptr) << "twm did not reparent the window";
    EXPECT_EQ(QString::fromUtf8(frame->title), title) << "the frame is named after its client";
    EXPECT_EQ(frame->processId, SELF);
    EXPECT_EQ(Find(*frame, client->winId())->depth, 1);
    QPoint centre = client->mapToGlobal(client->rect().center());
    EXPECT_EQ(WindowAt(root, centre.x(), centre.y())->hwnd, client->winId()) << "inside the frame, the client";
}
