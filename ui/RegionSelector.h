#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSound>

class QPixmap;

// The region chooser: a modal full-screen dialog over a still picture of the
// desktop, with a cross-hair at the mouse and a rubber band while dragging.
// Run it with exec(); accepted means a region was dragged down and to the
// right by more than DRAG_MIN pixels each way. Escape rejects it. It covers
// the primary monitor; its points and the selection are screen positions.
class RegionSelector : public QDialog {
    Q_OBJECT

public:
    // A release must lie more than this many pixels right of and below the
    // press: smaller drags are taken for stray clicks.
    static constexpr int DRAG_MIN = 16;
    // The size label in the middle of the band; wider when its text needs it.
    static constexpr int LABEL_WIDTH = 50;
    static constexpr int LABEL_HEIGHT = 16;
    static constexpr int LABEL_PADDING = 8;

    // background: the desktop picture taken just before; not owned, must
    // outlive the dialog. Shows the dialog full-screen.
    RegionSelector(const QPixmap* background, QWidget* parent);

    // The chosen rectangle in screen pixels, both corners included; valid
    // after accept.
    QRect selection() const { return m_selection; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const QPixmap* m_background;
    QSound m_shutter;
    QPoint m_pressPoint;
    QPoint m_releasePoint;
    QPoint m_currentPoint;
    bool m_pressed;
    QRect m_selection;
};
