#include "ui/FormParts.h"

#include <QHBoxLayout>
#include <QIcon>
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

QFrame* MakeRecordButtons(QWidget* parent, const QString& startText, const QString& startTip,
                          const QString& stopText, const QString& stopTip, QToolButton** start,
                          QToolButton** stop) {
    QFrame* frame = MakeFrame(parent, "frame_2", QFrame::NoFrame, QFrame::Raised);
    QHBoxLayout* row = MakeRow(frame, "horizontalLayout_2", 6, 8, 2, 8, 2);
    *start = MakeToolButton(frame, "btnStart", startText, startTip);
    (*start)->setIcon(QIcon(":/image/icon/record.png"));
    (*start)->setIconSize(QSize(40, 40));
    (*start)->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    (*start)->setCheckable(false);
    (*start)->setAutoRaise(false);
    (*start)->setWhatsThis("toolbar");
    row->addWidget(*start);
    *stop = MakeToolButton(frame, "btnStop", stopText, stopTip);
    (*stop)->setIconSize(QSize(32, 32));
    row->addWidget(*stop);
    return frame;
}
