#include "tests/support/GuiTestApp.h"
#include "tests/support/TestApp.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <cstdlib>

#include "os/OS_Clock.h"
#include "tests/support/TestEnv.h"

int64_t GuiTestNowMs() {
    return OS_NowMs();
}

void GuiTestProcessEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    OS_Sleep(2);
}

QApplication* GuiTestApp() { return TestApplication("xcb"); }

bool WaitExposed(QWidget* widget, int timeoutMs) {
    bool shown = ProcessEventsUntil(
        [widget] { return widget->windowHandle() && widget->windowHandle()->isExposed(); }, timeoutMs);
    QGuiApplication::sync();
    ProcessEventsFor(50);
    return shown;
}

void ProcessEventsFor(int ms) {
    int64_t end = OS_NowMs() + ms;
    while (OS_NowMs() < end)
        GuiTestProcessEvents();
    QGuiApplication::sync();
    QCoreApplication::processEvents();
}

int RunDialog(QDialog& dialog, const std::function<void()>& drive) {
    QTimer::singleShot(0, &dialog, [&dialog, &drive] {
        WaitExposed(&dialog);
        drive();
    });
    QTimer::singleShot(20000, &dialog, [&dialog] { dialog.done(-1); });
    return dialog.exec();
}

int Xdotool(const std::string& args) {
    // Qt's own requests first: a window just shown must be there to get the input.
    QGuiApplication::sync();
    int status = -1;
    RunCommand("xdotool " + args + " 2>&1", &status);
    return status;
}

QImage GrabScreen() {
    QGuiApplication::sync();
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

namespace {

// A window body that paints its own colour and a strip with the title.
class TestWindow : public QWidget {
public:
    TestWindow(const QColor& body, const QString& title) : m_body(body), m_title(title) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), m_body);
        QRect strip(0, 0, width(), 24);
        painter.fillRect(strip, m_body.darker(160));
        painter.setPen(Qt::white);
        painter.drawText(strip.adjusted(8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, m_title);
        painter.setPen(m_body.lightness() > 128 ? Qt::black : Qt::white);
        for (int line = 0; line < 6; ++line)
            painter.drawText(16, 50 + line * 20, QString("%1 — line %2").arg(m_title).arg(line + 1));
    }

private:
    QColor m_body;
    QString m_title;
};

class ColourBox : public QWidget {
public:
    ColourBox(QWidget* parent, const QColor& colour) : QWidget(parent), m_colour(colour) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), m_colour);
        painter.setPen(Qt::white);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.drawText(rect(), Qt::AlignCenter, "OK");
    }

private:
    QColor m_colour;
};

}  // namespace

QWidget* ShowTestWindow(const QRect& rect, const QColor& body, const QString& title) {
    QWidget* window = new TestWindow(body, title);
    window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window->setWindowTitle(title);
    window->setGeometry(rect);
    window->show();
    WaitExposed(window);
    return window;
}

QWidget* AddNativeChild(QWidget* parent, const QRect& rect, const QColor& colour) {
    QWidget* child = new ColourBox(parent, colour);
    child->setGeometry(rect);
    child->setAttribute(Qt::WA_NativeWindow);
    child->show();
    QGuiApplication::sync();
    ProcessEventsFor(50);
    return child;
}

void SaveScreenshot(const QImage& image, const char* name) {
    const char* dir = getenv("VIDLOOM_SCREENSHOT_DIR");
    if (dir && *dir)
        image.save(QDir(dir).filePath(name));
}
