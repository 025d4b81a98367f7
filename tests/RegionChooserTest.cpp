#include <QApplication>
#include <QLibraryInfo>
#include <QEvent>
#include <QPixmap>
#include <QWidget>
#include <memory>

#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"
#include "ui/RegionOutline.h"
#include "ui/RegionSelector.h"
#include "ui/SoundSystem.h"

namespace {

const QRgb FRAME_RGB = qRgb(30, 30, 30);

// Debug output of the code under test, kept for checks.
QStringList g_messages;
void KeepMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    g_messages << text;
}


// Counts the presses that reach the widgets it watches.
class PressCounter : public QObject {
public:
    int presses = 0;

protected:
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
    // A pixmap needs the application: made in SetUp.
    std::unique_ptr<QPixmap> m_background;
};

TEST_F(RegionChooser, DragDownAndRightSelectsBothCornersIncluded) {
    RegionSelector selector(m_background.get(), nullptr);
    int result = RunDialog(selector, [] {
        Xdotool("mousemove 90 90 mousemove 100 100 mousedown 1 mousemove 110 110 mousemove 117 117 mouseup 1");
        ProcessEventsFor(300);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(selector.selection(), QRect(100, 100, 18, 18));
}

TEST_F(RegionChooser, ShortUpwardOrLeftwardDragsSelectNothingAndEscapeRejects) {
    RegionSelector selector(m_background.get(), nullptr);
    std::vector<bool> openAfter;
    int result = RunDialog(selector, [&] {
        const char* drags[] = {
            "mousemove 100 100 mousedown 1 mousemove 116 200 mouseup 1",  // 16 pixels across
            "mousemove 100 100 mousedown 1 mousemove 300 116 mouseup 1",  // 16 pixels down
            "mousemove 400 400 mousedown 1 mousemove 300 300 mouseup 1",  // up and left
            "mousemove 400 400 mousedown 1 mousemove 600 300 mouseup 1",  // up
            "mousemove 400 400 mousedown 1 mousemove 300 600 mouseup 1",  // left
        };
        for (const char* drag : drags) {
            Xdotool(drag);
            ProcessEventsFor(200);
            openAfter.push_back(selector.isVisible());
        }
        Xdotool("key Escape");
        ProcessEventsFor(300);
    });
    EXPECT_EQ(openAfter, std::vector<bool>(5, true));
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(selector.selection().isNull());
}

TEST_F(RegionChooser, BandAndLabelFollowTheDrag) {
    RegionSelector selector(m_background.get(), nullptr);
    QImage during;
    int result = RunDialog(selector, [&] {
        Xdotool("mousemove 300 200 mousedown 1 mousemove 700 400 mousemove 861 561");
        ProcessEventsFor(300);
        during = GrabScreen();
        Xdotool("mouseup 1");
        ProcessEventsFor(300);
    });
    SaveScreenshot(during, "shot-region.png");
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(selector.selection(), QRect(300, 200, 562, 362));

    // The band runs through the press point; the 50 x 16 label sits in the
    // middle with white text; the background shows elsewhere.
    EXPECT_EQ(during.pixel(300, 300), FRAME_RGB);
    EXPECT_EQ(during.pixel(500, 200), FRAME_RGB);
    QRect label(0, 0, RegionSelector::LABEL_WIDTH, RegionSelector::LABEL_HEIGHT);
    label.moveCenter(QRect(QPoint(300, 200), QPoint(861, 561)).center());
    int white = 0;
    for (int y = label.top(); y <= label.bottom(); ++y)
        for (int x = label.left(); x <= label.right(); ++x)
            white += qRed(during.pixel(x, y)) > 200;
    EXPECT_GT(white, 10) << "the size text";
    QImage background = m_background->toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(during.pixel(400, 300), background.pixel(400, 300)) << "inside the band: the desktop";
    // The cross-hair goes through the mouse + 1 across the whole screen.
    EXPECT_NE(during.pixel(5, 562), background.pixel(5, 562));
    EXPECT_NE(during.pixel(862, 1000), background.pixel(862, 1000));
}

TEST_F(RegionChooser, OutlineLiesOutsideTheRegionAndLetsInputThrough) {
    PressCounter counter;
    for (auto& window : m_windows)
        window->installEventFilter(&counter);
    QImage before = GrabScreen();

    RegionOutline outline(nullptr);
    EXPECT_FALSE(outline.isVisible()) << "no region yet: nothing on the screen";
    // Odd sizes: 501 x 297.
    outline.SetRegion(260, 160, 760, 456);
    WaitExposed(&outline);
    ProcessEventsFor(200);
    QImage after = GrabScreen();
    SaveScreenshot(after, "shot-outline.png");

    const QRect region(260, 160, 501, 297);
    EXPECT_EQ(outline.region(), region);
    EXPECT_EQ(outline.mask(), outline.Shape());
    int changedInside = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            changedInside += after.pixel(x, y) != before.pixel(x, y);
    EXPECT_EQ(changedInside, 0) << "no outline pixel may be recorded";

    const QRect frame = region.adjusted(-1, -1, 1, 1);
    EXPECT_EQ(outline.FrameRect(), frame);
    int frameMisses = 0;
    for (int x = frame.left(); x <= frame.right(); ++x)
        frameMisses += (after.pixel(x, frame.top()) != FRAME_RGB) + (after.pixel(x, frame.bottom()) != FRAME_RGB);
    for (int y = frame.top(); y <= frame.bottom(); ++y)
        frameMisses += (after.pixel(frame.left(), y) != FRAME_RGB) + (after.pixel(frame.right(), y) != FRAME_RGB);
    EXPECT_EQ(frameMisses, 0) << "the frame runs one pixel outside each edge";

    const QRect label = outline.LabelRect();
    EXPECT_EQ(label.bottom(), frame.top() - 1) << "the label sits on the frame";
    EXPECT_EQ(label.left(), frame.left());
    EXPECT_GE(label.width(), RegionOutline::LABEL_WIDTH);
    EXPECT_EQ(label.height(), RegionOutline::LABEL_HEIGHT);
    int dark = 0, white = 0;
    for (int y = label.top(); y <= label.bottom(); ++y) {
        for (int x = label.left(); x <= label.right(); ++x) {
            dark += after.pixel(x, y) == FRAME_RGB;
            white += qRed(after.pixel(x, y)) > 200 && qBlue(after.pixel(x, y)) > 200;
        }
    }
    EXPECT_GT(dark, label.width() * label.height() / 2);
    EXPECT_GT(white, 20) << "the label text";
    // Past the frame and the label the screen is untouched.
    for (QPoint p : {QPoint(frame.right() + 1, 300), QPoint(500, frame.bottom() + 1), QPoint(frame.left() - 1, 300),
                     QPoint(label.right() + 1, label.top() + 5), QPoint(300, label.top() - 1)})
        EXPECT_EQ(after.pixel(p), before.pixel(p)) << p.x() << "," << p.y();

    // Clicks on the frame and on the label reach the windows below.
    Xdotool("mousemove 259 300 click 1 mousemove 300 150 click 1");
    ProcessEventsUntil([&] { return counter.presses == 2; });
    EXPECT_EQ(counter.presses, 2);

    // A new region moves the frame away from the old place.
    outline.SetRegion(900, 600, 1000, 700);
    ProcessEventsFor(200);
    QImage moved = GrabScreen();
    EXPECT_EQ(moved.pixel(259, 300), before.pixel(259, 300));
    EXPECT_EQ(moved.pixel(899, 650), FRAME_RGB);
    EXPECT_EQ(moved.pixel(950, 650), before.pixel(950, 650));
}

TEST_F(RegionChooser, NoAreaShowsNothing) {
    RegionOutline outline(nullptr);
    outline.SetRegion(300, 300, 200, 200);
    ProcessEventsFor(100);
    EXPECT_FALSE(outline.isVisible());
    EXPECT_TRUE(outline.Shape().isEmpty());
    outline.SetRegion(300, 300, 300, 300);  // one pixel is an area
    ProcessEventsFor(100);
    EXPECT_TRUE(outline.isVisible());
    outline.SetRegion(0, 0, -1, -1);
    ProcessEventsFor(100);
    EXPECT_FALSE(outline.isVisible());
}

// Qt lists no audio output when it finds no audio plugin: the test runs
// itself again in such a process.
TEST(RegionChooserSound, WithoutAudioOutputTheSelectorSaysSoOnce) {
    REQUIRE_DISPLAY();
    if (!getenv("VIDLOOM_TEST_NO_AUDIO")) {
        GuiTestApp();
        qInstallMessageHandler(KeepMessage);
        QPixmap background(64, 64);
        { RegionSelector withSound(&background, nullptr); }
        qInstallMessageHandler(nullptr);
        EXPECT_FALSE(g_messages.join("").contains("sound system not available!"));

        std::string platforms = QLibraryInfo::location(QLibraryInfo::PluginsPath).toStdString() + "/platforms";
        int status = -1;
        std::string output = RunCommand("VIDLOOM_TEST_NO_AUDIO=1 QT_QPA_PLATFORM_PLUGIN_PATH='" + platforms +
                                            "' /proc/" + std::to_string(getpid()) +
                                            "/exe --gtest_filter='RegionChooserSound.*' 2>&1",
                                        &status);
        EXPECT_EQ(status, 0) << output;
        return;
    }
    TempDir empty;
    QCoreApplication::setLibraryPaths({QString::fromStdString(empty.Path())});
    GuiTestApp();
    ASSERT_FALSE(SoundSystemAvailable());
    qInstallMessageHandler(KeepMessage);
    QPixmap background(64, 64);
    { RegionSelector withoutSound(&background, nullptr); }
    qInstallMessageHandler(nullptr);
    EXPECT_EQ(g_messages.filter("sound system not available!").size(), 1) << g_messages.join("|").toStdString();
}
