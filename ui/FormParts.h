#pragma once

#include <QFrame>

class QHBoxLayout;
class QString;
class QToolButton;
class QWidget;

// Small builders the recorder windows lay out their forms with. Object
// names are fixed: the style sheet addresses widgets by them. GUI thread.

QToolButton* MakeToolButton(QWidget* parent, const char* name, const QString& text,
                            const QString& toolTip);
QFrame* MakeFrame(QWidget* parent, const char* name, QFrame::Shape shape, QFrame::Shadow shadow);
// A row layout installed on parent.
QHBoxLayout* MakeRow(QWidget* parent, const char* name, int spacing, int left, int top, int right,
                     int bottom);
// The frame "frame_2" of both recorder windows with "btnStart" (icon above
// its text) and "btnStop"; the texts come from the window, in its context.
QFrame* MakeRecordButtons(QWidget* parent, const QString& startText, const QString& startTip,
                          const QString& stopText, const QString& stopTip, QToolButton** start,
                          QToolButton** stop);
