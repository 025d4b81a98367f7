#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>

#include "capture/AudioMixer.h"
#include "capture/CameraCallback.h"
#include "capture/PortalCapTask.h"
#include "capture/RecorderCallback.h"
#include "capture/RecordingListener.h"
#include "capture/ScreenCapListener.h"
#include "media/RecordingFormat.h"
#include "os/OS_Clock.h"
#include "os/OS_Mutex.h"
#include "os/OS_Thread.h"
#include "platform/WindowId.h"

class AvPacker;
class PacketSink;
class PortalCapTask;
class Recorder;
class ScreenCapTask;
class WinCapTask;

// The recording engine: owns one recording from the open source to the
// finished file, whichever window makes it. It is the callback of every
// source (the screen or window capture task, the camera, the sound
// recorders): it stamps pictures with the recording clock, flips and
// previews camera pictures, mixes two sound tracks, and pushes everything
// into the packer. It shows nothing; its listener hears what happens by
// itself.
//
// Threads. The steps run on the UI thread and never wait on the sound
// server: opening and closing sound devices, reading the device list and
// finishing a recording run on the engine's worker thread, which also
// watches the packer and the camera and ends a recording that fails.
// OnScreenFrame runs on the capture thread, OnCameraFrame on the camera's,
// OnAudioData on the sound threads; they read the packer pointer without a
// lock, so the order holds: the packer opens before any source that pushes
// into it starts, and closes only after every source stopped (the worker's
// Finish).
//
// Lifecycle: SetListener, Init; per recording StartClock, the source
// (OpenScreen/OpenWindow and StartCapture, or a running camera; or
// OpenPortal -> OnCaptureOpened, then StartClock, StartCapture), OpenPacker,
// StartSound, SetRecording(true) ... Stop (or a failure) -> OnFinished;
// Free.
class RecordingSession : public OS_Thread,
                         public ScreenCapListener,
                         public CameraCallback,
                         public RecorderCallback,
                         public CaptureEndListener {
public:
    // Sound tags: the microphone's track and the stereo mix's track of the
    // mixer. A single recorder uses TAG_SINGLE.
    static constexpr int TAG_MICROPHONE = 0;
    static constexpr int TAG_MIX = 1;
    static constexpr int TAG_SINGLE = 1;
    // Sound choices of StartSound.
    enum Sound { SOUND_NONE = 0, SOUND_DEVICE = 1, SOUND_MICROPHONE_AND_MIX = 2 };
    // Sleep of one pass of the worker: how soon it answers a request.
    static constexpr unsigned PASS_SLEEP_MS = 5;
    // A running camera silent this long is gone (unplugged, stream error).
    // Far above a frame time even at 5 pictures a second in the dark.
    static constexpr int64_t CAMERA_SILENCE_MS = 1500;
    // Sound that holds no sample above this level over its first
    // SOUND_SILENCE_MS is silence: the listener hears OnSoundSilent.
    static constexpr int SOUND_SILENCE_LEVEL = 16;
    static constexpr int64_t SOUND_SILENCE_MS = 5000;
    // How often the free room on the file's disk is looked at, and the
    // least room a recording ends at: about a minute of the busiest file
    // (H.264 at 60 fps), more when the file has grown faster.
    static constexpr int64_t DISK_CHECK_MS = 1000;
    static constexpr int64_t DISK_LOW_BYTES = 16 << 20;

    RecordingSession();
    // Free.
    ~RecordingSession() override;

    // Not owned; must outlive Free. Before Init.
    void SetListener(RecordingListener* listener) { m_listener = listener; }
    // Starts the worker, which reads the sound device list first. 0 or -1.
    int Init();
    // Finishes a recording still running (waiting for it), ends the worker.
    // Any state, twice. UI thread.
    void Free();

    // --- picture source of screen mode ---
    // Opens a capture task on a screen rectangle (or a window) that hands its
    // pictures to this engine. 0, or -1 with nothing left open.
    int OpenScreen(int x, int y, int width, int height);
    int OpenWindow(WindowId window);
    // Asks the worker to open the stream of a screen-sharing portal (its
    // PipeWire descriptor, copied here, and node): the region x, y, width x
    // height in stream pixels, or all of it when width <= 0. The stream's
    // format and first picture take a moment, so the listener hears
    // OnCaptureOpened; then the source's size is known. A stream that ends by
    // itself (the desktop stopped sharing, the compositor went away) ends
    // the recording as Stop would, reported as CAUSE_CAPTURE. -1 when the
    // descriptor cannot be copied (nothing is asked).
    int OpenPortal(int pipeWireFd, uint32_t node, int x, int y, int width, int height);
    // The opened source's picture.
    int SourceWidth() const { return m_sourceWidth; }
    int SourceHeight() const { return m_sourceHeight; }
    int SourceBitsPerPixel() const { return m_sourceBitsPerPixel; }
    // Starts the capture thread. 0, or -1 when it cannot be started.
    int StartCapture();

    // --- camera pictures ---
    // The running camera's picture (width x height, bitsPerPixel), before it
    // starts; width 0 when it stopped. Pictures are watched from now on.
    // UI thread, only while the camera is stopped.
    void SetCamera(int width, int height, int bitsPerPixel);
    // Where every camera picture is copied to (null: nowhere). Only while
    // the camera is stopped.
    void SetPreview(PacketSink* preview) { m_preview = preview; }
    // Turns every camera picture upside down before preview and file. Any
    // time.
    void SetReverse(bool reverse) { m_reverse = reverse; }
    // The recording has fully started (sound included): camera pictures
    // reach the packer, and the worker ends the recording when its file or
    // camera fails. Stop clears it.
    void SetRecording(bool recording) { m_recording = recording; }

    // --- the file ---
    // The next recording's video codec (RecordingFormat::VideoCodec),
    // pictures a second and sound samples a second; the defaults until set.
    // Before OpenPacker, with no recording running.
    void SetFormat(int codec, int fps, int sampleRate);
    int FrameRate() const { return m_fps; }
    int SampleRate() const { return m_sampleRate; }
    // Opens a packer on fileName for pictures of width x height in the given
    // layout, written at the same size in the format set. 0, or -1
    // (released again).
    int OpenPacker(const std::string& fileName, int width, int height, int bitsPerPixel, uint32_t fourcc);
    // Starts the recording clock: pictures and sound are stamped from here.
    void StartClock();

    // --- sound ---
    // Asks the worker to start sound: choice SOUND_DEVICE records the device
    // guid (empty: the default device), SOUND_MICROPHONE_AND_MIX mixes the
    // microphone with the stereo mix. The listener hears OnSoundStarted.
    void StartSound(int choice, const std::string& guid);
    // Asks the worker to read the sound device list again; the listener
    // hears OnSoundDevices.
    void ListSoundDevices();

    // --- the end ---
    // Stops taking pictures at once and asks the worker to finish: sound,
    // then pictures, then the file; the listener hears OnFinished.
    void Stop();
    // True from the first step of a recording until its file is finished.
    bool Active() const { return m_active; }

    // Capture thread: pushes the picture, stamped at its grab.
    int OnScreenFrame(MMPacket* packet) override;
    // Camera thread: flips the picture when asked, hands a copy to the
    // preview and, while recording, one stamped on the recording clock to
    // the packer.
    int OnCameraFrame(double sampleTime, unsigned char* data, long size) override;
    // Sound thread: stamps the block with its capture time on the recording
    // clock and pushes it, through the mixer while two tracks are mixed.
    int OnAudioData(int tag, double time, const void* data, int size) override;
    // PipeWire's thread: the portal's stream ended; the worker ends the
    // recording.
    void OnCaptureEnded() override { m_captureEnded = true; }

protected:
    // The worker: requests, then the watch over the packer and the camera.
    int Run() override;

private:
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    enum RequestType { REQUEST_LIST, REQUEST_SOUND, REQUEST_STOP, REQUEST_PORTAL };
    struct Request {
        int type;
        int choice;  // REQUEST_PORTAL: the descriptor, the worker's to close
        std::string guid;
        uint32_t node;
        int x, y, width, height;
    };

    void Post(const Request& request);
    // Worker: opens and starts the recorders. A SoundResult.
    int OpenSound(int choice, const std::string& guid);
    // Worker: opens the portal's stream for request; 0 or -1 (released
    // again).
    int OpenPortalStream(const Request& request);
    // Worker: one recorder with tag; 0 or -1 (released again).
    int OpenRecorder(Recorder*& recorder, const std::string& guid, int tag);
    // Worker: stops and closes the recorders, stereo mix first; no sound
    // callback runs after it returns.
    void StopSound();
    // Worker: the end of a recording: sound, pictures, file. The packer's
    // failure, or 0.
    int Finish();
    // Worker: ends a recording whose file or camera failed, or whose disk
    // is nearly full; tells of a silent sound source.
    void Watch();
    // Worker: the free room on the file's disk is less than a minute of
    // recording at the rate the file grew so far.
    bool DiskLow();
    // True when a picture of this time is the first of its frame period:
    // the packer writes one a period, a second would only take a waiting
    // place from the next period's.
    bool FirstOfPeriod(int64_t timestamp);

    RecordingListener* m_listener;
    bool m_initialised;
    std::atomic<bool> m_quit;      // set by Free, read by the worker every pass

    OS_Mutex m_requestLock;        // guards m_requests only
    std::deque<Request> m_requests;

    // Sources and file. Written by the UI thread while no recording is being
    // finished (m_active false or before Stop), by the worker in Finish.
    ScreenCapTask* m_screenTask;
    WinCapTask* m_windowTask;
    PortalCapTask* m_portalTask;
    std::atomic<bool> m_captureEnded;  // the portal's stream ended by itself
    int m_sourceWidth;
    int m_sourceHeight;
    int m_sourceBitsPerPixel;
    std::atomic<AvPacker*> m_packer;  // read by the sources and the worker's watch
    int m_packerWidth;             // its pictures' size
    int m_packerHeight;
    // Worker: the format of the recording Finish ended when it took an
    // encoder made ahead (width 0: none), copied there: the next is made
    // after the listener heard the end, when the UI may set a new format.
    struct { int codec, width, height, fps; } m_prepareNext;
    std::atomic<bool> m_freeing;   // Free has begun: nothing more is prepared
    OS_Clock m_clock;
    std::atomic<bool> m_active;
    // Format of the next recording (SetFormat).
    int m_codec;
    int m_fps;
    int m_sampleRate;
    // Frame of the last picture pushed; picture thread only (reset by
    // StartClock before any picture source runs).
    int64_t m_lastFrame;

    // Watching a recording (worker), and the sound's loudest sample of its
    // first seconds (sound threads).
    std::string m_fileName;
    int64_t m_nextDiskCheckMs;
    bool m_silenceTold;
    std::atomic<int> m_soundPeak;

    // Sound: worker only, but for the callbacks.
    Recorder* m_micRecorder;
    Recorder* m_mixRecorder;
    std::atomic<bool> m_mixing;
    AudioMixer m_mixer;  // locks itself: both sound threads call it

    // Camera.
    int32_t m_cameraWidth;
    int32_t m_cameraHeight;
    int32_t m_cameraBitsPerPixel;
    PacketSink* m_preview;
    std::atomic<bool> m_reverse;
    std::atomic<bool> m_recording;
    std::atomic<bool> m_cameraWatched;       // a camera runs and has not been reported lost
    std::atomic<int64_t> m_lastCameraMs;     // OS_NowMs of the latest camera picture
    std::atomic<int> m_picturesInFlight;     // camera pictures between the test and the push
};
