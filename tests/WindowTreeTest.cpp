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
#include "tests/support/ChildProcess.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"

namespace {

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

TEST(WindowTreeRules, OnlyWindowsWithAnAreaOnTheScreenTextCutWholeProcessesNamed) {
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
    // text is cut at whole characters; processes are named
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

    std::vector<QWidget*> m_windows;
};

// The real reader, counting what it is asked, with a hook run before each batch of states or info.
class HookedWindows : public X11WindowList {
public:
    std::function<void(const char* call, const std::vector<WindowId>& windows)> before = [](auto, auto&) {};
    std::map<WindowId, int> listed;  // child lists asked per window
    int batches = 0;

    void ListChildren(const std::vector<WindowId>& windows, std::vector<std::vector<WindowId>>& children) override {
        ++batches;
        for (WindowId window : windows)
            ++listed[window];
        X11WindowList::ListChildren(windows, children);
    }
    void ReadStates(const std::vector<WindowId>& windows, std::vector<WindowState>& states) override {
        ++batches;
        before("state", windows);
        X11WindowList::ReadStates(windows, states);
    }
    void ReadInfo(const std::vector<WindowId>& windows, std::vector<WindowInfo>& info) override {
        ++batches;
        before("info", windows);
        X11WindowList::ReadInfo(windows, info);
    }
};

TEST_F(WindowTreeX11, FrontWindowNestedControlsReadOnceAndWindowsGoneMeanwhileSkipped) {
    QString title = QString::fromUtf8("录像测试 — ünïcode");
    QWidget* first = Show(QRect(100, 100, 400, 300), Qt::darkCyan, title);
    QWidget* second = Show(QRect(300, 200, 400, 300), Qt::darkMagenta, "second");
    QWidget* hidden = Show(QRect(800, 100, 300, 200), Qt::darkRed, "hidden");
    hidden->hide();
    QWidget* listedThenGone = Show(QRect(500, 600, 300, 200), Qt::darkRed, "gone after listing");
    QWidget* readThenGone = Show(QRect(900, 600, 300, 200), Qt::darkBlue, "gone while read");
    WindowId listedId = listedThenGone->winId(), readId = readThenGone->winId();
    // Four controls, each inside the one before, from (120, 140) on the screen.
    std::vector<WindowId> controls;
    QWidget* parent = first;
    for (QRect rect : {QRect(20, 40, 160, 120), QRect(10, 10, 100, 80), QRect(10, 10, 50, 40), QRect(10, 10, 20, 20)})
        controls.push_back((parent = AddNativeChild(parent, rect, Qt::darkBlue))->winId());
    second->raise();
    QGuiApplication::sync();

    HookedWindows windows;
    ASSERT_EQ(windows.Open(), 0);
    windows.before = [&](const char* call, const std::vector<WindowId>& batch) {
        // One goes before its state is read, the other after that, before its title.
        QWidget*& gone = call[0] == 's' ? listedThenGone : readThenGone;
        if (!gone || std::find(batch.begin(), batch.end(), gone->winId()) == batch.end())
            return;
        m_windows.erase(std::find(m_windows.begin(), m_windows.end(), gone));
        delete gone;
        gone = nullptr;
        QGuiApplication::sync();
    };
    WinHandle root;
    ASSERT_EQ(BuildWindowTree(windows, root), 0);
    // One child list per window, a few batches per level (five here), however many windows there are.
    for (auto [window, times] : windows.listed)
        EXPECT_EQ(times, 1) << "window 0x" << std::hex << window;
    EXPECT_LE(windows.batches, 20);
    EXPECT_EQ(Find(root, listedId), nullptr) << "gone before its state was read";
    const WinHandle* read = Find(root, readId);
    ASSERT_NE(read, nullptr) << "it was visible when listed";
    EXPECT_STREQ(read->title, "");
    EXPECT_STREQ(read->processName, "unknown");

    // (the front one of two and a control's rectangle: the window chooser's test)
    EXPECT_EQ(WindowAt(root, 125, 145)->hwnd, controls[0]) << "the control, not its window";
    EXPECT_EQ(WindowAt(root, 160, 180)->hwnd, controls[1]) << "over the deepest: its level-two ancestor";
    EXPECT_EQ(WindowAt(root, 280, 145)->hwnd, first->winId()) << "right edges are exclusive";
    EXPECT_EQ(WindowAt(root, 150, 400), &root) << "bottom edges are exclusive";
    EXPECT_EQ(WindowAt(root, -1, 10), nullptr) << "off the screen";
    EXPECT_EQ(WindowAt(root, 900, 150), &root) << "over the hidden window: the desktop";
    EXPECT_EQ(Find(root, hidden->winId()), nullptr);
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(QPoint(root.rect.right, root.rect.bottom), screen.bottomRight() + QPoint(1, 1));

    const WinHandle* node = Find(root, first->winId());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(QString::fromUtf8(node->title), title);
    EXPECT_EQ(node->processId, SELF);
    EXPECT_STREQ(node->processName, "WindowTreeTest");
    EXPECT_EQ(Ids(node->children), controls) << "every descendant, each before its own children";
    ASSERT_EQ(node->children[0].children.size(), 3u);
    EXPECT_TRUE(node->children[0].children[0].children.empty()) << "the third level is not searched";
}

TEST_F(WindowTreeX11, UnderAWindowManagerTheFrameIsTheTopLevelWindow) {
    TempDir dir;
    // A reparenting window manager; Xvfb has only the "fixed" core font.
    WriteFileText(dir.File("twmrc"), "RandomPlacement\nUsePPosition \"on\"\nNoGrabServer\nTitleFont \"fixed\"\n"
                                     "ResizeFont \"fixed\"\nMenuFont \"fixed\"\nIconFont \"fixed\"\n"
                                     "IconManagerFont \"fixed\"\n");
    ChildProcess twm;  // killed at the end
    ASSERT_EQ(twm.Start({"-f", dir.File("twmrc")}, "twm"), 0);
    QString title = QString::fromUtf8("framed — 窗口");
    QWidget* client = new QWidget();
    m_windows.push_back(client);
    client->setWindowTitle(title);
    client->setGeometry(300, 200, 400, 300);
    client->show();

    WinHandle root;
    const WinHandle* frame = nullptr;
    ProcessEventsUntil([&] {
        root = WinHandle();
        EXPECT_EQ(BuildWindowTree(root), 0);
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
