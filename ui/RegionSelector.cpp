#include "ui/RegionSelector.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include "app/AppPaths.h"
#include "ui/FullScreen.h"
#include "ui/SoundSystem.h"
#include "ui/TextCodec.h"

namespace {

// The cross-hair is drawn twice, dark then light, so it shows on any picture.
const QColor CROSS_FIRST(60, 60, 60, 150);
const QColor CROSS_SECOND(160, 160, 160, 150);
const QColor BAND_COLOUR(30, 30, 30, 255);
const QColor LABEL_TEXT(255, 255, 255, 255);

void DrawCross(QPainter& painter, const QColor& colour, int x, int y, int width, int height) {
    painter.setPen(colour);
    painter.drawLine(0, y, width, y);
    painter.drawLine(x, 0, x, height);
}

}  // namespace

RegionSelector::RegionSelector(const QPixmap* background, QWidget* parent)
    : QDialog(parent), m_background(background),
      m_shutter(ToQString(AppPaths::Global().DataPath("shutter.wav"))), m_pressed(false) {
    setMouseTracking(true);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    ShowFullScreenOnPrimary(this);
    ReportMissingSoundSystem();
}

void RegionSelector::mousePressEvent(QMouseEvent* event) {
    m_pressed = true;
    m_pressPoint = event->globalPos();
}

void RegionSelector::mouseReleaseEvent(QMouseEvent* event) {
    m_releasePoint = event->globalPos();
    m_pressed = false;
    repaint();
    // Only a drag down and to the right selects; anything else lets the
    // user drag again.
    if (m_releasePoint.x() > m_pressPoint.x() + DRAG_MIN &&
        m_releasePoint.y() > m_pressPoint.y() + DRAG_MIN) {
        m_shutter.play();
        m_selection = QRect(m_pressPoint, m_releasePoint);
        accept();
    }
}

void RegionSelector::mouseMoveEvent(QMouseEvent* event) {
    m_currentPoint = event->globalPos();
    repaint();
}

void RegionSelector::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_background)
        painter.drawPixmap(rect(), *m_background, m_background->rect());

    // The points are screen positions; the dialog need not start at (0, 0).
    QPoint current = mapFromGlobal(m_currentPoint);
    int x = current.x() + 1;
    int y = current.y() + 1;
    DrawCross(painter, CROSS_FIRST, x, y, width(), height());
    DrawCross(painter, CROSS_SECOND, x, y, width(), height());

    if (!m_pressed)
        return;
    QRect band(mapFromGlobal(m_pressPoint), current);
    painter.setPen(BAND_COLOUR);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(band);
    QString text = QString::asprintf("%dx%d", band.width(), band.height());
    QRect label(0, 0, qMax(LABEL_WIDTH, painter.fontMetrics().horizontalAdvance(text) + LABEL_PADDING),
                LABEL_HEIGHT);
    label.moveCenter(band.center());
    painter.fillRect(label, BAND_COLOUR);
    painter.setPen(LABEL_TEXT);
    painter.drawText(label, Qt::AlignCenter, text);
}
