#pragma once

#include <QAbstractNativeEventFilter>
#include <QKeySequence>
#include <QObject>

#include "platform/x11/X11KeyGrab.h"

// A system-wide hot key: activated() is emitted when the key is pressed,
// whichever program has the keyboard focus. It stands in for LibQxt's
// QxtGlobalShortcut with the same interface. The key is grabbed on the X
// root window for as long as the object lives. A key another program already
// holds leaves the object invalid (logged as a warning), never fails the
// caller. GUI thread; a QApplication on the xcb platform must exist.
class GlobalShortcut : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // The first key of shortcut (with Shift, Ctrl, Alt, Meta) is grabbed.
    explicit GlobalShortcut(const QKeySequence& shortcut, QObject* parent = nullptr);
    ~GlobalShortcut() override;

    // True while the key is grabbed.
    bool isValid() const;
    QKeySequence shortcut() const { return m_shortcut; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

signals:
    void activated();

private:
    QKeySequence m_shortcut;
    X11KeyGrab m_grab;
};
