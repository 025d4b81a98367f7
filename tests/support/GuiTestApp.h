#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <functional>
#include <string>

class QApplication;
class QDialog;
class QWidget;

// The process's QApplication on the private X server (xcb platform, high-DPI
// scaling off, as the program runs), made on first use. Call after
// REQUIRE_DISPLAY().
QApplication* GuiTestApp();

// Handles events until widget's window is on the screen and every request
// Qt made has reached the X server. false when it did not show in time.
bool WaitExposed(QWidget* widget, int timeoutMs = 5000);
// Handles events for about ms milliseconds, then syncs with the X server.
void ProcessEventsFor(int ms);
// Handles events until done() holds or timeoutMs passed; done()'s last value.
template <typename Done>
bool ProcessEventsUntil(Done done, int timeoutMs = 5000);

// Runs dialog modally while drive() works it from inside its event loop;
// a dialog still open after 20 s is ended with -1. The dialog's result.
int RunDialog(QDialog& dialog, const std::function<void()>& drive);

// Runs xdotool with args on the private display; its exit status.
int Xdotool(const std::string& args);

// The whole primary screen as the X server has it now.
QImage GrabScreen();

// A top-level test window: a title strip and a body of the given colour,
// with a few lines of text. Shown at rect (screen pixels) and on the screen
// when this returns.
QWidget* ShowTestWindow(const QRect& rect, const QColor& body, const QString& title);
// A child with its own X window (a "control"), at rect inside parent.
QWidget* AddNativeChild(QWidget* parent, const QRect& rect, const QColor& colour);

// Saves image as dir/name when $VIDLOOM_SCREENSHOT_DIR names a folder.
void SaveScreenshot(const QImage& image, const char* name);

// ---- template definitions

int64_t GuiTestNowMs();
void GuiTestProcessEvents();

template <typename Done>
bool ProcessEventsUntil(Done done, int timeoutMs) {
    int64_t end = GuiTestNowMs() + timeoutMs;
    while (!done()) {
        if (GuiTestNowMs() > end)
            return done();
        GuiTestProcessEvents();
    }
    return true;
}
