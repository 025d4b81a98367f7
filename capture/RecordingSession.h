#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "capture/AudioMixer.h"
#include "capture/RecorderCallback.h"
#include "capture/ScreenCapListener.h"
#include "media/RecordingFormat.h"
#include "os/OS_Clock.h"
#include "os/OS_Mutex.h"
#include "platform/WindowId.h"

class AvPacker;
class Recorder;
class ScreenCapTask;
class WinCapTask;

// One recording, whichever window makes it: the picture source of screen
// mode (a screen or window capture task), the packer that writes the file,
// one or two sound recorders with the mixer, the recording clock and the
// frame numbering. Windows call its steps in the order their start and stop
// follow; it shows nothing and knows no widgets.
//
// Threads: every step runs on the UI thread. OnScreenFrame runs on the
// capture thread, OnCameraPicture on the camera's thread, OnAudioData on the
// sound threads; they read the packer pointer without a lock, so the order
// holds: the packer opens before any source that pushes into it starts, and
// closes only after every source stopped (StopSound, StopCapture,
// SetRecording(false)).
class RecordingSession : public ScreenCapListener, public RecorderCallback {
public:
    // Sound tags: the microphone's track and the stereo mix's track of the
    // mixer. A single recorder uses TAG_SINGLE.
    static constexpr int TAG_MICROPHONE = 0;
    static constexpr int TAG_MIX = 1;
    static constexpr int TAG_SINGLE = 1;

    RecordingSession();
    // Stops and releases whatever is still running.
    ~RecordingSession();

    // --- picture source of screen mode ---
    // Opens a capture task on a screen rectangle (or a window) that hands
    // its pictures to listener: a window that passes them on to
    // OnScreenFrame, or null for this session itself. 0, or -1 with nothing
    // left open.
    int OpenScreen(int x, int y, int width, int height, ScreenCapListener* listener = nullptr);
    int OpenWindow(WindowId window, ScreenCapListener* listener = nullptr);
    // The opened source's picture.
    int SourceWidth() const { return m_sourceWidth; }
    int SourceHeight() const { return m_sourceHeight; }
    int SourceBitsPerPixel() const { return m_sourceBitsPerPixel; }
    // Starts the capture thread. 0, or -1 when it cannot be started.
    int StartCapture();
    // Stops and joins the capture thread and releases the task. Any state.
    void StopCapture();

    // --- the file ---
    // Opens a packer on fileName for pictures of width x height in the given
    // layout, written at the same size and 25 pictures a second. 0, or -1
    // (the packer is released again).
    int OpenPacker(const std::string& fileName, int width, int height, int bitsPerPixel,
                   uint32_t fourcc);
    // Finishes the file: encodes what is queued, writes the end, closes.
    // Only once every source has stopped. Any state.
    void ClosePacker();
    // The same in the background: returns at once, the packer's thread
    // finishes the file; ClosePacker (which then waits only for what is
    // left) releases it. Only once every source has stopped. Any state.
    void BeginClosePacker();
    // True when no file is being finished.
    bool PackerFinished() const;
    bool HasPacker() const { return m_packer != nullptr; }

    // --- the clock ---
    // Starts the recording clock; pictures are numbered from here.
    void StartClock();
    const OS_Clock& Clock() const { return m_clock; }
    // Number of the frame period a picture taken elapsedMs after the start
    // belongs to: the count of periods, rounded to the nearest.
    static int64_t FrameNumber(int64_t elapsedMs);

    // --- sound ---
    // Opens and starts a recorder on the device guid (empty: the default
    // device) with tag, delivering to callback (a window that passes blocks
    // on to OnAudioData, or null for this session itself). The first call
    // makes the microphone recorder, the second the stereo mix's, after
    // which both tracks are mixed. 0, or -1 (logged; that recorder released,
    // one already started keeps running).
    int StartSound(const std::string& guid, int tag, RecorderCallback* callback = nullptr);
    // Stops and closes the recorders, stereo mix first; no sound callback
    // runs after it returns. Any state.
    void StopSound();
    bool Mixing() const { return m_mixing; }

    // --- camera pictures ---
    // Camera pictures reach the packer only while this is set. Clearing it
    // waits until a picture already past the test has been pushed.
    void SetRecording(bool recording);
    bool Recording() const { return m_recording; }
    // Camera thread: while recording, copies the picture (size bytes) into
    // a packet numbered by the clock and pushes it. A second picture of a
    // frame period already pushed is left out: it would never be written.
    // Always 0.
    int OnCameraPicture(const void* data, int size);

    // Capture thread: numbers the picture and pushes it.
    int OnScreenFrame(MMPacket* packet) override;
    // Sound thread: stamps the block with its capture time on the recording
    // clock and pushes it, through the mixer while two tracks are mixed.
    int OnAudioData(int tag, double time, const void* data, int size) override;

private:
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // Stamps a picture taken elapsedMs after the start with its frame
    // number; false when that number was already pushed (the picture is
    // then not wanted).
    bool StampPicture(MMPacket* packet, int64_t elapsedMs);

    ScreenCapTask* m_screenTask;
    WinCapTask* m_windowTask;
    int m_sourceWidth;
    int m_sourceHeight;
    int m_sourceBitsPerPixel;
    AvPacker* m_packer;
    OS_Clock m_clock;
    // Frame number of the last picture pushed; picture thread only (reset
    // by StartClock before any picture source runs).
    int64_t m_lastFrameNumber;

    Recorder* m_micRecorder;
    Recorder* m_mixRecorder;
    std::atomic<bool> m_mixing;
    OS_Mutex m_mixLock;  // serialises the two sound threads around the mixer
    AudioMixer m_mixer;  // guarded by m_mixLock
    short m_mixBuffer[RecordingFormat::FRAMES_PER_BLOCK * RecordingFormat::CHANNELS];

    std::atomic<bool> m_recording;
    // Camera pictures between the recording test and their push.
    std::atomic<int> m_picturesInFlight;
};
