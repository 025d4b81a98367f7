#include <QApplication>
#include <QEvent>
#include <QPixmap>
#include <QWidget>
#include <memory>

#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11TestScreen.h"
#include "ui/RegionOutline.h"
#include "ui/RegionSelector.h"

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

}  // namespace

// Two monitors; the primary one, where the choosers work, is not at (0, 0).
class RegionChooser : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        GuiTestApp();
        ASSERT_TRUE(m_monitors.Open());
        m_monitors.SetMonitor("LEFT", 0, 0, 600, 1080, false);
        m_monitors.SetMonitor("MAIN", MONITOR.x(), MONITOR.y(), MONITOR.width(), MONITOR.height(), true);
        RunCommand("xsetroot -solid '#3b6e8f'");
        m_windows.emplace_back(ShowTestWindow(QRect(720, 290, 560, 380), QColor(236, 236, 228), "notes.txt - Editor"));
        m_windows.emplace_back(ShowTestWindow(QRect(1120, 500, 640, 420), QColor(52, 58, 70), "Terminal"));
        m_background.reset(new QPixmap(QPixmap::fromImage(GrabScreen().copy(MONITOR))));
    }

    const QRect MONITOR = QRect(600, 200, 1320, 880);
    X11TestScreen m_monitors;
    std::vector<std::unique_ptr<QWidget>> m_windows;
    std::unique_ptr<QPixmap> m_background;  // needs the application: made in SetUp
};

TEST_F(RegionChooser, OnlyADragOfMoreThan16PixelsDownAndRightChooses) {
    QImage before = GrabScreen();
    RegionSelector refused(m_background.get(), nullptr);
    std::vector<bool> openAfter;
    int result = RunDialog(refused, [&] {
        for (const char* drag : {"700 300 mousedown 1 mousemove 716 400",  // 16 pixels across
                                 "700 300 mousedown 1 mousemove 900 316",  // 16 pixels down
                                 "1000 600 mousedown 1 mousemove 900 500",  // up and left
                                 "1000 600 mousedown 1 mousemove 1200 500",  // up
                                 "1000 600 mousedown 1 mousemove 900 800"}) {  // left
            Xdotool(std::string("mousemove ") + drag + " mouseup 1");
            ProcessEventsFor(200);
            openAfter.push_back(refused.isVisible());
        }
        Xdotool("key Escape");
        ProcessEventsFor(300);
    });
    EXPECT_EQ(openAfter, std::vector<bool>(5, true));
    EXPECT_EQ(result, QDialog::Rejected) << "Escape";
    EXPECT_TRUE(refused.selection().isNull());

    // Drawn while dragging, over the primary monitor only: the band from the
    // press point, the cross-hair through the mouse + 1 across the monitor,
    // the desktop inside the band. Points are screen positions.
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
}

TEST_F(RegionChooser, OutlineLiesJustOutsideTheRegionAndLetsInputThrough) {
    PressCounter counter;
    for (auto& window : m_windows)
        window->installEventFilter(&counter);
    QImage before = GrabScreen();

    RegionOutline outline(nullptr);
    EXPECT_FALSE(outline.isVisible()) << "no region yet: nothing on the screen";
    outline.SetRegion(860, 360, 1360, 656);  // odd sizes: 501 x 297
    WaitExposed(&outline);
    ProcessEventsFor(200);
    QImage after = GrabScreen();

    const QRect region(860, 360, 501, 297), frame = region.adjusted(-1, -1, 1, 1);
    int changedInside = 0, frameMisses = 0;
    for (int y = frame.top(); y <= frame.bottom(); ++y) {
        for (int x = frame.left(); x <= frame.right(); ++x) {
            if (region.contains(x, y))
                changedInside += after.pixel(x, y) != before.pixel(x, y);
            else
                frameMisses += after.pixel(x, y) != FRAME_RGB;
        }
    }
    EXPECT_EQ(changedInside, 0) << "no outline pixel may be recorded";
    EXPECT_EQ(frameMisses, 0) << "the frame runs one pixel outside each edge";
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
