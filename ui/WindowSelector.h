#pragma once

#include <QDialog>
#include <QPoint>
#include <QSound>

#include "capture/WinHandle.h"

class QPixmap;

// The window chooser: a modal full-screen dialog over a still picture of the
// desktop that darkens everything but the window under the mouse (the
// deepest window of the tree that holds the point). A click accepts it with
// the highlighted window; Escape rejects it. It covers the primary monitor;
// the mouse and the tree's rectangles are screen positions.
class WindowSelector : public QDialog {
    Q_OBJECT

public:
    // Alpha of the black laid over everything but the highlighted window.
    static constexpr int DARKEN_ALPHA = 100;

    // background: the desktop picture; root: the window tree built just
    // before (capture/WindowTree.h). Neither is owned; both must outlive
    // the dialog. Shows the dialog full-screen.
    WindowSelector(const QPixmap* background, WinHandle* root, QWidget* parent);

    // The window highlighted at the click; 0 until then, and after a click
    // before any mouse movement.
    WindowId chosenWindow() const { return m_chosenWindow; }
    // The highlighted window and its rectangle.
    WindowId currentWindow() const { return m_currentWindow; }
    const WinRect& highlight() const { return m_highlight; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const QPixmap* m_background;
    WinHandle* m_root;
    QSound m_shutter;
    QPoint m_mousePoint;
    bool m_pressed;
    WindowId m_currentWindow;
    WinRect m_highlight;
    WindowId m_chosenWindow;
};
