#pragma once

#include <QFrame>
#include <QRect>
#include <QRegion>

// The frame and label shown around the recorded region: a full-screen,
// always-on-top window that lets all input through to the windows below.
// A grab of the screen takes every pixel on it, so nothing of it lies inside
// the region: the frame runs one pixel outside each edge and the label sits
// above the frame. The window is shaped to these two pieces, so it shows the
// same with or without a compositor. It covers the primary monitor; the
// region and the rectangles below are screen positions.
class RegionOutline : public QFrame {
    Q_OBJECT

public:
    // The label above the frame; wider when its text needs it.
    static constexpr int LABEL_WIDTH = 100;
    static constexpr int LABEL_HEIGHT = 16;
    static constexpr int LABEL_PADDING = 8;

    // Shows itself full-screen, with nothing drawn until a region is set.
    explicit RegionOutline(QWidget* parent);

    // The recorded rectangle from its corners (both included); redraws and
    // reshapes the window. A region with no area hides it.
    void SetRegion(int left, int top, int right, int bottom);
    QRect region() const { return m_region; }

    // Screen pixels the window covers: the frame and the label.
    QRegion Shape() const;
    // The one-pixel frame runs along the inside of this rectangle.
    QRect FrameRect() const;
    QRect LabelRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString LabelText() const;
    void UpdateShape();

    QRect m_region;
    // The primary monitor's corner on the screen, where the window starts.
    QPoint m_origin;
};
