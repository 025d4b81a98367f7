#include "ui/WindowSelector.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include "app/AppPaths.h"
#include "capture/WindowTree.h"
#include "ui/FullScreen.h"
#include "ui/SoundSystem.h"
#include "ui/TextCodec.h"

WindowSelector::WindowSelector(const QPixmap* background, WinHandle* root, QWidget* parent)
    : QDialog(parent), m_background(background), m_root(root),
      m_shutter(ToQString(AppPaths::Global().DataPath("shutter.wav"))), m_pressed(false), m_currentWindow(0), m_highlight{0, 0, 0, 0}, m_chosenWindow(0) {
    setMouseTracking(true);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    ShowFullScreenOnPrimary(this);
    ReportMissingSoundSystem();
}

void WindowSelector::mousePressEvent(QMouseEvent* event) {
    m_pressed = true;
    QDialog::mousePressEvent(event);
}

void WindowSelector::mouseReleaseEvent(QMouseEvent* event) {
    if (m_pressed) {
        m_shutter.play();
        m_chosenWindow = m_currentWindow;
        accept();
    }
    QDialog::mouseReleaseEvent(event);
}

void WindowSelector::mouseMoveEvent(QMouseEvent* event) {
    m_mousePoint = event->globalPos();
    WinHandle* hit = m_root ? WindowAt(*m_root, m_mousePoint.x(), m_mousePoint.y()) : nullptr;
    if (hit && hit->hwnd != 0 && hit->hwnd != m_currentWindow) {
        m_currentWindow = hit->hwnd;
        m_highlight = hit->rect;
        repaint();
    }
    QDialog::mouseMoveEvent(event);
}

void WindowSelector::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_background)
        painter.drawPixmap(rect(), *m_background, m_background->rect());

    // The tree holds screen rectangles; the dialog need not start at (0, 0).
    QRect hole(mapFromGlobal(QPoint(m_highlight.left, m_highlight.top)),
               QSize(m_highlight.right - m_highlight.left, m_highlight.bottom - m_highlight.top));
    painter.setClipRegion(QRegion(rect()).subtracted(QRegion(hole)));
    painter.setBrush(QColor(0, 0, 0, DARKEN_ALPHA));
    painter.drawRect(rect());
}
