#include "ui/RecordingEvents.h"

// Each call queues a function on this object's (the GUI) thread; one queued
// after this object is gone is dropped by Qt.

void RecordingEvents::OnSoundDevices(const std::vector<AudioInputDevice>& devices) {
    QMetaObject::invokeMethod(
        this,
        [this, devices] {
            m_devices = devices;
            emit evtSoundDevices();
        },
        Qt::QueuedConnection);
}

void RecordingEvents::OnSoundStarted(int result) {
    QMetaObject::invokeMethod(this, [this, result] { emit evtSoundStarted(result); }, Qt::QueuedConnection);
}

void RecordingEvents::OnRecordingFailed(int cause, int error) {
    QMetaObject::invokeMethod(this, [this, cause, error] { emit evtRecordingFailed(cause, error); },
                              Qt::QueuedConnection);
}

void RecordingEvents::OnCameraLost() {
    QMetaObject::invokeMethod(this, [this] { emit evtCameraLost(); }, Qt::QueuedConnection);
}

void RecordingEvents::OnSoundSilent() {
    QMetaObject::invokeMethod(this, [this] { emit evtSoundSilent(); }, Qt::QueuedConnection);
}

void RecordingEvents::OnFinished() {
    QMetaObject::invokeMethod(this, [this] { emit evtFinished(); }, Qt::QueuedConnection);
}

void RecordingEvents::OnCaptureOpened(int result) {
    QMetaObject::invokeMethod(this, [this, result] { emit evtCaptureOpened(result); }, Qt::QueuedConnection);
}
