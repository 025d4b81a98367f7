#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QWidget>
#include <memory>

#include "capture/WindowTree.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11TestScreen.h"
#include "ui/InfoWindow.h"
#include "ui/WindowSelector.h"

namespace {

QRect ToQRect(const WinRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// shown is original under black at DARKEN_ALPHA.
bool IsDarkened(QRgb shown, QRgb original) {
    auto near = [](int shown, int original) {
        return std::abs(shown - original * (255 - WindowSelector::DARKEN_ALPHA) / 255) <= 2;
    };
    return near(qRed(shown), qRed(original)) && near(qGreen(shown), qGreen(original)) &&
           near(qBlue(shown), qBlue(original));
}

}  // namespace

// Two monitors; the primary one, where the chooser works, is not at (0, 0).
class WindowChooser : public ::testing::Test {
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
    std::unique_ptr<QPixmap> m_background;
    WinHandle m_root;
};

TEST_F(WindowChooser, DarkensAllButTheWindowUnderTheMouseAndAClickChoosesIt) {
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
    EXPECT_EQ(highlights[1], QRect(1200, 530, 700, 440));
    EXPECT_EQ(highlights[2], QRect(1130, 670, 120, 36));
    EXPECT_EQ(highlights[3], ToQRect(m_root.rect));
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(selector.chosenWindow(), m_editor->winId());

    // The hovered terminal at full brightness, the rest of the primary
    // monitor darkened, the other monitor left alone. Screen positions.
    for (QPoint inside : {QPoint(1210, 540), QPoint(1899, 969)})
        EXPECT_EQ(shot.pixel(inside), m_screen.pixel(inside)) << inside.x() << "," << inside.y();
    for (QPoint outside : {QPoint(900, 500), QPoint(1199, 700), QPoint(1500, 971), QPoint(1800, 250)})
        EXPECT_TRUE(IsDarkened(shot.pixel(outside), m_screen.pixel(outside))) << outside.x() << "," << outside.y();
    EXPECT_EQ(shot.pixel(300, 300), m_screen.pixel(300, 300));
}

TEST_F(WindowChooser, EscapeOrAClickBeforeAnyMovementChoosesNothing) {
    Xdotool("mousemove 900 500");
    const struct {
        const char* input;
        int result;
    } cases[] = {{"key Escape", QDialog::Rejected}, {"click 1", QDialog::Accepted}};
    for (const auto& c : cases) {
        WindowSelector selector(m_background.get(), &m_root, nullptr);
        int result = RunDialog(selector, [&] {
            Xdotool(c.input);
            ProcessEventsFor(200);
        });
        EXPECT_EQ(result, c.result) << c.input;
        EXPECT_EQ(selector.chosenWindow(), 0u) << c.input;
    }
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
