#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

// Where the bar goes while a recording it would be part of runs: on a
// Wayland desktop it stays shown as the way to stop, and nothing can keep a
// window out of the picture the desktop sends.
class BarPlacement {
public:
    // The bar's new top-left: beside the recorded rectangle on a screen, or on
    // a screen that is not recorded. Its own place when it is not recorded,
    // or when no place fits (then it is in the picture).
    static QPoint OffRecording(const QRect& bar, const QRect& recorded, const QList<QRect>& screens);
};
