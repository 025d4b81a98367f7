#include <QApplication>
#include <QEvent>
#include <QPixmap>
#include <QWidget>
#include <memory>

#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"
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

class RegionChooser : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        GuiTestApp();
        RunCommand("xsetroot -solid '#3b6e8f'");
        m_windows.emplace_back(ShowTestWindow(QRect(120, 90, 560, 380), QColor(236, 236, 228), "notes.txt - Editor"));
        m_windows.emplace_back(ShowTestWindow(QRect(520, 300, 640, 420), QColor(52, 58, 70), "Terminal"));
        m_background.reset(new QPixmap(QPixmap::fromImage(GrabScreen())));
    }

    std::vector<std::unique_ptr<QWidget>> m_windows;
    std::unique_ptr<QPixmap> m_background;  // needs the application: made in SetUp
};

TEST_F(RegionChooser, OnlyADragOfMoreThan16PixelsDownAndRightChooses) {
    RegionSelector refused(m_background.get(), nullptr);
    std::vector<bool> openAfter;
    int result = RunDialog(refused, [&] {
        for (const char* drag : {"100 100 mousedown 1 mousemove 116 200",  // 16 pixels across
                                 "100 100 mousedown 1 mousemove 300 116",  // 16 pixels down
                                 "400 400 mousedown 1 mousemove 300 300",  // up and left
                                 "400 400 mousedown 1 mousemove 600 300",  // up
                                 "400 400 mousedown 1 mousemove 300 600"}) {  // left
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

    // Drawn while dragging: the band from the press point, the cross-hair
    // through the mouse + 1 across the screen, the desktop inside the band.
    RegionSelector chosen(m_background.get(), nullptr);
    QImage during;
    result = RunDialog(chosen, [&] {
        Xdotool("mousemove 90 90 mousemove 100 100 mousedown 1 mousemove 500 300 mousemove 861 561");
        ProcessEventsFor(300);
        during = GrabScreen();
        Xdotool("mousemove 110 110 mousemove 117 117 mouseup 1");
        ProcessEventsFor(300);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(chosen.selection(), QRect(100, 100, 18, 18)) << "both corners included";
    QImage background = m_background->toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(during.pixel(100, 300), FRAME_RGB);
    EXPECT_EQ(during.pixel(500, 100), FRAME_RGB);
    EXPECT_EQ(during.pixel(400, 300), background.pixel(400, 300));
    EXPECT_NE(during.pixel(5, 562), background.pixel(5, 562));
    EXPECT_NE(during.pixel(862, 1000), background.pixel(862, 1000));
}

TEST_F(RegionChooser, OutlineLiesJustOutsideTheRegionAndLetsInputThrough) {
    PressCounter counter;
    for (auto& window : m_windows)
        window->installEventFilter(&counter);
    QImage before = GrabScreen();

    RegionOutline outline(nullptr);
    EXPECT_FALSE(outline.isVisible()) << "no region yet: nothing on the screen";
    outline.SetRegion(260, 160, 760, 456);  // odd sizes: 501 x 297
    WaitExposed(&outline);
    ProcessEventsFor(200);
    QImage after = GrabScreen();

    const QRect region(260, 160, 501, 297), frame = region.adjusted(-1, -1, 1, 1);
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
    for (QPoint p : {QPoint(frame.right() + 1, 300), QPoint(500, frame.bottom() + 1), QPoint(300, label.top() - 1)})
        EXPECT_EQ(after.pixel(p), before.pixel(p)) << "untouched past the frame: " << p.x() << "," << p.y();

    // Clicks on the frame and on the label reach the windows below.
    Xdotool("mousemove 259 300 click 1 mousemove 300 150 click 1");
    ProcessEventsUntil([&] { return counter.presses == 2; });
    EXPECT_EQ(counter.presses, 2);

    // A region with no area hides it.
    outline.SetRegion(300, 300, 200, 200);
    ProcessEventsFor(100);
    EXPECT_FALSE(outline.isVisible());
    outline.SetRegion(300, 300, 300, 300);  // one pixel is an area
    ProcessEventsFor(100);
    EXPECT_TRUE(outline.isVisible());
}
