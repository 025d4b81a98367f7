#include "ui/FormParts.h"

#include <QHBoxLayout>
#include <QToolButton>

QToolButton* MakeToolButton(QWidget* parent, const char* name, const QString& text,
                            const QString& toolTip) {
    QToolButton* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(toolTip);
    return button;
}

QFrame* MakeFrame(QWidget* parent, const char* name, QFrame::Shape shape, QFrame::Shadow shadow) {
    QFrame* frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setFrameShape(shape);
    frame->setFrameShadow(shadow);
    return frame;
}

QHBoxLayout* MakeRow(QWidget* parent, const char* name, int spacing, int left, int top, int right,
                     int bottom) {
    QHBoxLayout* row = new QHBoxLayout(parent);
    row->setObjectName(name);
    row->setSpacing(spacing);
    row->setContentsMargins(left, top, right, bottom);
    return row;
}
