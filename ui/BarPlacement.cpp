#include "ui/BarPlacement.h"

#include <QtGlobal>

namespace {

// Between the bar and the recorded rectangle, or a screen's edge.
const int GAP = 8;

}  // namespace

QPoint BarPlacement::OffRecording(const QRect& bar, const QRect& recorded, const QList<QRect>& screens) {
    if (!bar.intersects(recorded))
        return bar.topLeft();
    for (const QRect& screen : screens) {
        // as near its own place as the screen lets
        int x = qBound(screen.left(), bar.left(), screen.right() + 1 - bar.width());
        int y = qBound(screen.top(), bar.top(), screen.bottom() + 1 - bar.height());
        const QPoint beside[] = {
            QPoint(x, recorded.bottom() + 1 + GAP), QPoint(x, recorded.top() - GAP - bar.height()),
            QPoint(recorded.right() + 1 + GAP, y), QPoint(recorded.left() - GAP - bar.width(), y),
            QPoint(screen.center().x() - bar.width() / 2, screen.top() + GAP)};
        for (const QPoint& at : beside) {
            QRect moved(at, bar.size());
            if (screen.contains(moved) && !moved.intersects(recorded))
                return at;
        }
    }
    return bar.topLeft();
}
