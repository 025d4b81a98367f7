// The region and window choosers and the outline on two monitors, via xdotool; the info window.
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <memory>

#include "capture/WindowTree.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11TestScreen.h"
#include "ui/BarPlacement.h"
#include "ui/InfoWindow.h"
#include "ui/RegionOutline.h"
#include "ui/RegionSelector.h"
#include "ui/WindowSelector.h"

namespace {

const QRgb FRAME_RGB = qRgb(30, 30, 30);

// Counts the presses that reach the widgets it watches.
struct PressCounter : QObject {
    int presses = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        presses += event->type() == QEvent::MouseButtonPress;
        return false;
    }
};

QRect ToQRect(const WinRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// shown is original under black at DARKEN_ALPHA.
bool IsDarkened(QRgb shown, QRgb original) {
    const int kept = 255 - WindowSelector::DARKEN_ALPHA;
    for (int shift : {0, 8, 16})
        if (std::abs(int(shown >> shift & 255) - int(original >> shift & 255) * kept / 255) > 2)
            return false;
    return true;
}

}  // namespace

// Two monitors, the primary one not at (0, 0); an editor with a control, a terminal in front.
class ChooserDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        GuiTestApp();
        ASSERT_TRUE(m_monitors.Open());
        m_monitors.SetMonitor("LEFT", 0, 0, 600, 1080, false);
        m_monitors.SetMonitor("MAIN", MONITOR.x(), MONITOR.y(), MONITOR.width(), MONITOR.height(), true);
        RunCommand("xsetroot -solid '#3b6e8f'");
        m_editor.reset(ShowTestWindow(QRect(760, 320, 620, 420), QColor(236, 236, 228), "notes.txt - Editor"));
        m_button = AddNativeChild(m_editor.get(), QRect(370, 350, 120, 36), QColor(52, 101, 164));
        m_terminal.reset(ShowTestWindow(QRect(1200, 530, 700, 440), QColor(52, 58, 70), "Terminal"));
        m_screen = GrabScreen();
        m_background.reset(new QPixmap(QPixmap::fromImage(m_screen.copy(MONITOR))));
        ASSERT_EQ(BuildWindowTree(m_root), 0);
    }

    const QRect MONITOR = QRect(600, 200, 1320, 880);
    X11TestScreen m_monitors;
    QImage m_screen;

    std::unique_ptr<QWidget> m_editor;
    QWidget* m_button = nullptr;
    std::unique_ptr<QWidget> m_terminal;
    std::unique_ptr<QPixmap> m_background;  // needs the application: made in SetUp
    WinHandle m_root;
};
using WindowChooser = ChooserDesktop;
using RegionChooser = ChooserDesktop;

TEST_F(WindowChooser, DarkensAllButTheWindowUnderTheMouseAClickChoosesItEscapeOrNoMoveNothing) {
    WindowSelector selector(m_background.get(), &m_root, nullptr);
    QImage shot;
    std::vector<WindowId> hovered;
    std::vector<QRect> highlights;
    int result = RunDialog(selector, [&] {
        for (const char* point : {"900 500", "1300 600", "1150 690", "1800 1050", "900 500"}) {
            Xdotool(std::string("mousemove ") + point);
            ProcessEventsFor(200);
            hovered.push_back(selector.currentWindow());
            highlights.push_back(ToQRect(selector.highlight()));
            if (hovered.size() == 2)
                shot = GrabScreen();
        }
        Xdotool("click 1");
        ProcessEventsFor(200);
    });
    EXPECT_EQ(hovered, (std::vector<WindowId>{m_editor->winId(), m_terminal->winId(), m_button->winId(),
                                              m_root.hwnd, m_editor->winId()}))
        << "the window, the front one of two, a control, the desktop, the window again";
    EXPECT_EQ(highlights[2], QRect(1130, 670, 120, 36));
    EXPECT_EQ(highlights[3], ToQRect(m_root.rect));
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(selector.chosenWindow(), m_editor->winId());
    // The hovered terminal bright, the rest of the primary monitor dark, the other one untouched.
    for (QPoint inside : {QPoint(1210, 540), QPoint(1899, 969)})
        EXPECT_EQ(shot.pixel(inside), m_screen.pixel(inside)) << inside.x() << "," << inside.y();
    for (QPoint outside : {QPoint(900, 500), QPoint(1199, 700), QPoint(1500, 971), QPoint(1800, 250)})
        EXPECT_TRUE(IsDarkened(shot.pixel(outside), m_screen.pixel(outside))) << outside.x() << "," << outside.y();
    EXPECT_EQ(shot.pixel(300, 300), m_screen.pixel(300, 300));
    // Escape, or a click before any movement, chooses nothing.
    Xdotool("mousemove 900 500");
    const struct {
        const char* input;
        int result;
    } cases[] = {{"key Escape", QDialog::Rejected}, {"click 1", QDialog::Accepted}};
    for (const auto& c : cases) {
        WindowSelector again(m_background.get(), &m_root, nullptr);
        result = RunDialog(again, [&] {
            Xdotool(c.input);
            ProcessEventsFor(200);
        });
        EXPECT_EQ(result, c.result) << c.input;
        EXPECT_EQ(again.chosenWindow(), 0u) << c.input;
    }
}

TEST_F(RegionChooser, OnlyADragOfMoreThan16PixelsDownAndRightChoosesAndTheOutlineLetsInputThrough) {
    QImage before = GrabScreen();
    RegionSelector refused(m_background.get(), nullptr);
    std::vector<bool> openAfter;
    int result = RunDialog(refused, [&] {
        for (const char* drag : {"700 300 mousedown 1 mousemove 716 400",  // 16 pixels across
                                 "700 300 mousedown 1 mousemove 900 316",  // 16 pixels down
                                 "1000 600 mousedown 1 mousemove 1200 500",  // up
                                 "1000 600 mousedown 1 mousemove 900 800"}) {  // left
            Xdotool(std::string("mousemove ") + drag + " mouseup 1");
            ProcessEventsFor(200);
            openAfter.push_back(refused.isVisible());
        }
        Xdotool("key Escape");
        ProcessEventsFor(300);
    });
    EXPECT_EQ(openAfter, std::vector<bool>(4, true));
    EXPECT_EQ(result, QDialog::Rejected) << "Escape";
    EXPECT_TRUE(refused.selection().isNull());
    // While dragging, on the primary monitor only: the band from the press point, the cross-hair
    // through the mouse + 1 across the monitor, the desktop inside the band.
    RegionSelector chosen(m_background.get(), nullptr);
    QImage during;
    result = RunDialog(chosen, [&] {
        Xdotool("mousemove 690 290 mousemove 700 300 mousedown 1 mousemove 1100 500 mousemove 1461 761");
        ProcessEventsFor(300);
        during = GrabScreen();
        Xdotool("mousemove 710 310 mousemove 717 317 mouseup 1");
        ProcessEventsFor(300);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(chosen.geometry(), MONITOR);
    EXPECT_EQ(chosen.selection(), QRect(700, 300, 18, 18)) << "both corners included";
    QImage background = m_background->toImage().convertToFormat(QImage::Format_RGB32);
    auto original = [&](int x, int y) { return background.pixel(QPoint(x, y) - MONITOR.topLeft()); };
    EXPECT_EQ(during.pixel(700, 500), FRAME_RGB);
    EXPECT_EQ(during.pixel(1100, 300), FRAME_RGB);
    EXPECT_EQ(during.pixel(1000, 500), original(1000, 500));
    EXPECT_NE(during.pixel(605, 762), original(605, 762));
    EXPECT_NE(during.pixel(1462, 1000), original(1462, 1000));
    EXPECT_EQ(during.pixel(595, 762), before.pixel(595, 762)) << "the other monitor is left alone";
    // The outline lies just outside the region and lets input through.
    PressCounter counter;
    m_editor->installEventFilter(&counter);
    before = GrabScreen();

    RegionOutline outline(nullptr);
    EXPECT_FALSE(outline.isVisible()) << "no region yet: nothing on the screen";
    outline.SetRegion(860, 360, 1360, 656);  // odd sizes: 501 x 297
    WaitExposed(&outline);
    ProcessEventsFor(200);
    QImage after = GrabScreen();

    const QRect region(860, 360, 501, 297), frame = region.adjusted(-1, -1, 1, 1);
    EXPECT_TRUE(after.copy(region) == before.copy(region)) << "no outline pixel may be recorded";
    // the ring around the region, its inside painted over
    QImage ring = after.copy(frame), solid(frame.size(), QImage::Format_RGB32);
    QPainter(&ring).fillRect(1, 1, region.width(), region.height(), QColor(FRAME_RGB));
    solid.fill(FRAME_RGB);
    EXPECT_TRUE(ring == solid) << "the frame runs one pixel outside each edge";
    const QRect label = outline.LabelRect();
    EXPECT_EQ(label.bottom(), frame.top() - 1) << "the label sits on the frame";
    EXPECT_EQ(after.pixel(label.left() + 2, label.bottom() - 1), FRAME_RGB);
    for (QPoint p : {QPoint(frame.right() + 1, 500), QPoint(1100, frame.bottom() + 1), QPoint(900, label.top() - 1)})
        EXPECT_EQ(after.pixel(p), before.pixel(p)) << "untouched past the frame: " << p.x() << "," << p.y();
    // Clicks on the frame and on the label reach the windows below.
    Xdotool("mousemove 859 500 click 1 mousemove 900 350 click 1");
    ProcessEventsUntil([&] { return counter.presses == 2; });
    EXPECT_EQ(counter.presses, 2);
    // A region with no area hides it.
    outline.SetRegion(900, 500, 800, 400);
    ProcessEventsFor(100);
    EXPECT_FALSE(outline.isVisible());
    outline.SetRegion(900, 500, 900, 500);  // one pixel is an area
    ProcessEventsFor(100);
    EXPECT_TRUE(outline.isVisible());
}

TEST(InfoWindowTest, ShowsALargePictureUnscaledCutToItsTopLeftPart) {
    REQUIRE_DISPLAY();
    GuiTestApp();
    InfoWindow info(nullptr);
    QLabel* label = info.findChild<QLabel*>("label");
    ASSERT_NE(label, nullptr);
    // Every pixel tells where it came from.
    QImage picture(800, 600, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x & 255, y & 255, (x >> 8) * 64 + (y >> 8) * 16));
    EXPECT_EQ(info.SetImage(QPixmap::fromImage(picture), 0), 0);
    info.move(100, 100);
    info.show();
    ASSERT_TRUE(WaitExposed(&info));
    EXPECT_LE(info.width(), 400);
    EXPECT_LE(info.height(), 300);
    EXPECT_EQ(label->pixmap(Qt::ReturnByValue).size(), QSize(800, 600)) << "not scaled";

    QImage screen = GrabScreen();
    QPoint corner = label->mapToGlobal(QPoint(0, 0));
    QRect visible = QRect(corner, label->size()).intersected(info.geometry());
    ASSERT_FALSE(visible.isEmpty());
    EXPECT_EQ(visible.topLeft(), corner) << "the top-left part shows";
    for (QPoint p : {visible.topLeft(), visible.bottomRight() - QPoint(2, 2)})
        EXPECT_EQ(screen.pixel(p), picture.pixel(p - corner));
}

// The bar shown through a portal recording leaves the recorded rectangle where there is room.
TEST(BarPlacementTest, BesideTheRegionOrOnAnotherScreenElseInPlace) {
    const QRect left(0, 0, 1280, 720), right(1280, 0, 1280, 720), bar(500, 100, 300, 40);
    EXPECT_EQ(BarPlacement::OffRecording(bar, QRect(0, 300, 400, 300), {left}), bar.topLeft()) << "not recorded";
    EXPECT_EQ(BarPlacement::OffRecording(bar, QRect(400, 50, 600, 500), {left}), QPoint(500, 558)) << "below";
    EXPECT_EQ(BarPlacement::OffRecording(bar, QRect(0, 0, 900, 720), {left}), QPoint(908, 100)) << "right";
    EXPECT_EQ(BarPlacement::OffRecording(bar, left, {left, right}), QPoint(1288, 100)) << "the other screen";
    EXPECT_EQ(BarPlacement::OffRecording(bar, left, {left}), bar.topLeft()) << "no room: stays";
}
