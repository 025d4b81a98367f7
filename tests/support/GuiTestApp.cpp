#include "tests/support/GuiTestApp.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "os/OS_Clock.h"
#include "tests/support/TestEnv.h"

QApplication* GuiTestApp(const char* platform) {
    static int argc = 1;
    static char arg0[] = "vidloom-test";
    static char* argv[] = {arg0, nullptr};
    static QApplication* app = nullptr;
    if (!app) {
        qputenv("QT_QPA_PLATFORM", platform);
        // The windows' texts are checked in their Chinese source form.
        qputenv("LANG", "C.UTF-8");
        qputenv("LANGUAGE", "zh_CN");
        QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
        app = new QApplication(argc, argv);
    }
    return app;
}

bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    int64_t end = OS_NowMs() + timeoutMs;
    while (!done()) {
        if (OS_NowMs() > end)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        OS_Sleep(2);
    }
    return true;
}

bool WaitExposed(QWidget* widget, int timeoutMs) {
    bool shown = ProcessEventsUntil(
        [widget] { return widget->windowHandle() && widget->windowHandle()->isExposed(); }, timeoutMs);
    ProcessEventsFor(50);
    return shown;
}

void ProcessEventsFor(int ms) {
    ProcessEventsUntil([] { return false; }, ms);
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

QRgb MeanColour(const QImage& image, const QRect& area) {
    // Smooth scaling down averages each target pixel's whole area.
    return image.copy(area).scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0);
}

QWidget* ShowTestWindow(const QRect& rect, const QColor& body, const QString& title) {
    QPixmap picture(rect.size());
    picture.fill(body);
    QPainter painter(&picture);
    QRect strip(0, 0, rect.width(), 24);
    painter.fillRect(strip, body.darker(160));
    painter.setPen(Qt::white);
    painter.drawText(strip.adjusted(8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, title);
    painter.setPen(body.lightness() > 128 ? Qt::black : Qt::white);
    for (int line = 0; line < 6; ++line)
        painter.drawText(16, 50 + line * 20, QString("%1 — line %2").arg(title).arg(line + 1));
    painter.end();
    QLabel* window = new QLabel();
    window->setPixmap(picture);
    window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window->setWindowTitle(title);
    window->setGeometry(rect);
    window->show();
    WaitExposed(window);
    return window;
}

QWidget* AddNativeChild(QWidget* parent, const QRect& rect, const QColor& colour) {
    QWidget* child = new QWidget(parent);
    child->setStyleSheet(QString("background: %1").arg(colour.name()));
    child->setAttribute(Qt::WA_StyledBackground);
    child->setGeometry(rect);
    child->setAttribute(Qt::WA_NativeWindow);
    child->show();
    ProcessEventsFor(50);
    return child;
}
