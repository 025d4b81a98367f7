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

// The process's one QApplication (never deleted), made on first use on the Qt platform ("xcb" after
// REQUIRE_DISPLAY(), or "offscreen") with high-DPI scaling off, as the program runs.
QApplication* GuiTestApp(const char* platform = "xcb");

// Handles events until widget's window is on the screen and synced with the X server; false if not.
bool WaitExposed(QWidget* widget, int timeoutMs = 5000);
// Handles events for about ms milliseconds, then syncs with the X server.
void ProcessEventsFor(int ms);
// Handles events until done() holds or timeoutMs passed; done()'s last value.
bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Runs dialog modally while drive() works it from inside its event loop; its result (-1 after 20 s).
int RunDialog(QDialog& dialog, const std::function<void()>& drive);
// Runs xdotool with args on the private display; its exit status.
int Xdotool(const std::string& args);
// The whole primary screen as the X server has it now.
QImage GrabScreen();
// Mean colour of a rectangle of an image.
QRgb MeanColour(const QImage& image, const QRect& area);

// A frameless window on the screen at rect: a title strip and a body of the colour with some text.
QWidget* ShowTestWindow(const QRect& rect, const QColor& body, const QString& title);
// A child with its own X window (a "control") at rect inside parent.
QWidget* AddNativeChild(QWidget* parent, const QRect& rect, const QColor& colour);
