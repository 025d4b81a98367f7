#pragma once

#include <vector>

#include "capture/AudioInputDevice.h"

// Hears what the recording engine does by itself. Every call comes on the
// engine's worker thread and must return quickly; a window turns them into
// queued signals and never touches widgets here.
class RecordingListener {
public:
    // Results of a sound start.
    enum SoundResult { SOUND_FAILED = -1, SOUND_STARTED = 0, SOUND_NO_MIX = 1 };
    // Why a recording ended by itself.
    enum Cause { CAUSE_WRITE = 1, CAUSE_CAMERA = 2, CAUSE_CAPTURE = 3, CAUSE_DISK_LOW = 4 };

    // The sound capture devices, in the server's order (empty without a
    // server).
    virtual void OnSoundDevices(const std::vector<AudioInputDevice>& devices) = 0;
    // A sound start asked for with StartSound: the recorders run
    // (SOUND_STARTED), the stereo mix is missing and the recording goes on
    // without sound (SOUND_NO_MIX), or nothing of it runs (SOUND_FAILED).
    virtual void OnSoundStarted(int result) = 0;
    // The recording ended by itself and its file is being finished: the file
    // could not be written (error: the errno, e.g. ENOSPC, EIO; 0 unknown),
    // the camera stopped delivering, the screen's stream ended (the desktop
    // stopped sharing, the compositor went away), or the disk holding the
    // file has less room left than about a minute of it (CAUSE_DISK_LOW,
    // ENOSPC; the file is whole). Also when the end of a stopped recording
    // could not be written.
    virtual void OnRecordingFailed(int cause, int error) = 0;
    // The camera stopped delivering pictures (unplugged, stream error);
    // told once per camera.
    virtual void OnCameraLost() = 0;
    // The sound recorded so far, its first seconds, is silence only; the
    // recording goes on. Told once per recording.
    virtual void OnSoundSilent() {}
    // The portal's stream asked for with OpenPortal is open (0; its size is
    // the source's) or not (-1, logged).
    virtual void OnCaptureOpened(int result) { (void)result; }
    // The file of the last recording is finished and everything of it
    // released: a new one may start.
    virtual void OnFinished() = 0;

protected:
    ~RecordingListener() = default;
};
