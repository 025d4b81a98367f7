#pragma once

#include <QDialog>
#include <QPixmap>
#include <QPoint>

// A frameless dialog that paints a background picture over its whole area
// and is moved by dragging it with the left mouse button.
class BaseDialog : public QDialog {
    Q_OBJECT

public:
    // background: picture file, relative names mean the program's data folder.
    BaseDialog(const QString& background, QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint m_dragOffset;  // press position relative to the frame's corner
    bool m_dragging;
    QPixmap m_background;
};
