#pragma once

#include <QObject>
#include <vector>

#include "capture/AudioInputDevice.h"
#include "capture/RecordingListener.h"

// Turns the recording engine's calls, made on its worker thread, into
// signals on the GUI thread (queued: a slot never runs on the worker).
class RecordingEvents : public QObject, public RecordingListener {
    Q_OBJECT
public:
    explicit RecordingEvents(QObject* parent = nullptr) : QObject(parent) {}

    // The device list of the latest evtSoundDevices. GUI thread.
    const std::vector<AudioInputDevice>& SoundDevices() const { return m_devices; }

    void OnSoundDevices(const std::vector<AudioInputDevice>& devices) override;
    void OnSoundStarted(int result) override;
    void OnRecordingFailed(int cause, int error) override;
    void OnCameraLost() override;
    void OnSoundSilent() override;
    void OnCaptureOpened(int result) override;
    void OnFinished() override;

signals:
    void evtSoundDevices();
    void evtSoundStarted(int result);
    void evtRecordingFailed(int cause, int error);
    void evtCameraLost();
    void evtSoundSilent();
    void evtCaptureOpened(int result);
    void evtFinished();

private:
    std::vector<AudioInputDevice> m_devices;  // GUI thread only
};
