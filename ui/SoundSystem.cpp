#include "ui/SoundSystem.h"

#include <QAudioDeviceInfo>
#include <QDebug>

bool SoundSystemAvailable() {
    return !QAudioDeviceInfo::availableDevices(QAudio::AudioOutput).isEmpty();
}

void ReportMissingSoundSystem() {
    if (!SoundSystemAvailable())
        qDebug("sound system not available!\n");
}
