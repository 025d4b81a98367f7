#include "ui/GlobalShortcut.h"

#include <QCoreApplication>
#include <QX11Info>

#include <string>

#include "os/OS_Log.h"

namespace {

// X keysym name of a Qt key, empty when the key is not supported.
std::string KeysymName(int key) {
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return "F" + std::to_string(key - Qt::Key_F1 + 1);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return std::string(1, (char)('a' + (key - Qt::Key_A)));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return std::string(1, (char)('0' + (key - Qt::Key_0)));
    switch (key) {
    case Qt::Key_Escape: return "Escape";
    case Qt::Key_Tab: return "Tab";
    case Qt::Key_Backspace: return "BackSpace";
    case Qt::Key_Return: return "Return";
    case Qt::Key_Enter: return "KP_Enter";
    case Qt::Key_Insert: return "Insert";
    case Qt::Key_Delete: return "Delete";
    case Qt::Key_Pause: return "Pause";
    case Qt::Key_Print: return "Print";
    case Qt::Key_Home: return "Home";
    case Qt::Key_End: return "End";
    case Qt::Key_Left: return "Left";
    case Qt::Key_Up: return "Up";
    case Qt::Key_Right: return "Right";
    case Qt::Key_Down: return "Down";
    case Qt::Key_PageUp: return "Prior";
    case Qt::Key_PageDown: return "Next";
    case Qt::Key_Space: return "space";
    default: return std::string();
    }
}

int GrabModifiers(int combined) {
    int modifiers = 0;
    if (combined & Qt::ShiftModifier) modifiers |= X11KeyGrab::MOD_SHIFT;
    if (combined & Qt::ControlModifier) modifiers |= X11KeyGrab::MOD_CONTROL;
    if (combined & Qt::AltModifier) modifiers |= X11KeyGrab::MOD_ALT;
    if (combined & Qt::MetaModifier) modifiers |= X11KeyGrab::MOD_META;
    return modifiers;
}

}  // namespace

GlobalShortcut::GlobalShortcut(const QKeySequence& shortcut, QObject* parent)
    : QObject(parent), m_shortcut(shortcut) {
    QCoreApplication* app = QCoreApplication::instance();
    int combined = shortcut.isEmpty() ? 0 : shortcut[0];
    std::string name = KeysymName(combined & ~Qt::KeyboardModifierMask);
    QByteArray text = shortcut.toString().toUtf8();
    if (!app || !QX11Info::isPlatformX11()) {
        OS_Log::Warning("global key %s: needs an X11 desktop.\n", text.constData());
        return;
    }
    if (name.empty()) {
        OS_Log::Warning("global key %s: key not supported.\n", text.constData());
        return;
    }
    if (m_grab.Open(QX11Info::display(), QX11Info::connection(), name.c_str(), GrabModifiers(combined)) == 0)
        app->installNativeEventFilter(this);
}

GlobalShortcut::~GlobalShortcut() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeNativeEventFilter(this);
        m_grab.Close();
    } else {
        // Qt's X connection is gone, and the grabs with it.
        m_grab.Abandon();
    }
}

bool GlobalShortcut::isValid() const {
    return m_grab.IsOpen();
}

bool GlobalShortcut::nativeEventFilter(const QByteArray& eventType, void* message, long* result) {
    if (eventType != "xcb_generic_event_t" || !m_grab.IsPress(message))
        return false;
    emit activated();
    return true;
}
