#include "ui/RegionOutline.h"

#include <QPainter>

#include "capture/ScreenSize.h"
#include "ui/FullScreen.h"

namespace {

const QColor FRAME_COLOUR(30, 30, 30, 255);
const QColor LABEL_TEXT(255, 255, 255, 255);
const QColor TRANSPARENT_COLOUR(0, 0, 0, 0);

}  // namespace

RegionOutline::RegionOutline(QWidget* parent) : QFrame(parent), m_region(0, 0, 0, 0) {
    // Transparency is fixed when the native window is made: set it before
    // showing.
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowTransparentForInput);
    setWindowTitle(tr("录制区域"));
    UpdateShape();
}

void RegionOutline::SetRegion(int left, int top, int right, int bottom) {
    m_region = QRect(QPoint(left, top), QPoint(right, bottom));
    UpdateShape();
    update();
}

QRect RegionOutline::FrameRect() const {
    return m_region.adjusted(-1, -1, 1, 1);
}

QString RegionOutline::LabelText() const {
    return tr("录制区域") + QString::asprintf(" %dx%d", m_region.width(), m_region.height());
}

QRect RegionOutline::LabelRect() const {
    QRect frame = FrameRect();
    int width = qMax(LABEL_WIDTH, fontMetrics().horizontalAdvance(LabelText()) + LABEL_PADDING);
    return QRect(frame.left(), frame.top() - LABEL_HEIGHT, width, LABEL_HEIGHT);
}

QRegion RegionOutline::Shape() const {
    if (m_region.width() <= 0 || m_region.height() <= 0)
        return QRegion();
    QRegion ring = QRegion(FrameRect()).subtracted(QRegion(m_region));
    return ring.united(QRegion(LabelRect()));
}

void RegionOutline::UpdateShape() {
    int x = 0, y = 0, width = 0, height = 0;
    GetScreenRect(&x, &y, &width, &height);
    m_origin = QPoint(x, y);
    // The mask is in widget positions.
    QRegion shape = Shape().translated(-m_origin);
    // An empty mask would mean no mask, a window over the whole screen.
    if (shape.isEmpty()) {
        hide();
        return;
    }
    setMask(shape);
    if (!isVisible())
        ShowFullScreenOnPrimary(this);
}

void RegionOutline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), TRANSPARENT_COLOUR);
    if (m_region.width() <= 0 || m_region.height() <= 0)
        return;
    painter.translate(-m_origin);

    // The one-pixel frame is the ring between the region and FrameRect.
    for (const QRect& piece : QRegion(FrameRect()).subtracted(QRegion(m_region)))
        painter.fillRect(piece, FRAME_COLOUR);

    QRect label = LabelRect();
    painter.fillRect(label, FRAME_COLOUR);
    painter.setPen(LABEL_TEXT);
    painter.drawText(label, Qt::AlignCenter, LabelText());
}
