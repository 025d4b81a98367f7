#pragma once

#include <atomic>
#include <cstdint>

#include "capture/GUID.h"
#include "capture/RecorderCallback.h"
#include "os/OS_Thread.h"

class PulseCaptureBuffer;
class PulseCaptureDevice;

// Records one sound capture device and hands it block by block to a
// RecorderCallback, on its own capture thread. Created with new by a window,
// opened once, started, stopped, closed and deleted; never restarted.
class Recorder : public OS_Thread {
public:
    // The capture ring holds this many blocks: one being read, one being
    // filled and one to spare.
    static constexpr int RING_BLOCKS = 3;
    // One notification per block plus the stop notification.
    static constexpr int NOTIFY_COUNT = RING_BLOCKS + 1;
    // Longest wait of the capture thread before it checks its quit flag
    // again; Close wakes it at once anyway.
    static constexpr unsigned WAIT_MS = 20;

    // Stores the callback (not owned; null: nothing is delivered).
    explicit Recorder(RecorderCallback* callback);
    // Closes whatever is still open.
    ~Recorder() override;

    // Opens the device named by guidText (GUID text form; null or empty: the
    // default capture device), prepares a ring of three blocks of
    // framesPerBlock frames of 16-bit PCM and starts the capture thread,
    // which waits until StartCapture. tag comes back in every OnAudioData.
    // 0, or -1 after logging; a failed Open has released everything.
    // Called on the UI thread.
    int Open(const char* guidText, int tag, int channels, int sampleRate, int framesPerBlock);
    // Starts delivering blocks. 0, or -1 after logging.
    int StartCapture();
    // Nothing to do: Close stops. Always 0.
    int StopCapture();
    // Stops capturing, ends the capture thread and releases the device.
    // Returns within about one block's time (at once unless a callback is
    // running); no block is delivered after it returns. Any state, twice.
    // Never call it from the callback.
    void Close();

protected:
    // The capture thread.
    int Run() override;

private:
    // Step of Open: finds the device's source and opens it. 0, or -1.
    int OpenDevice();

    int32_t m_channels;
    int32_t m_sampleRate;
    int32_t m_bitsPerSample;
    int32_t m_bytesPerFrame;
    int32_t m_framesPerBlock;
    int32_t m_blockBytes;
    PulseCaptureDevice* m_capture;
    PulseCaptureBuffer* m_buffer;
    std::atomic<bool> m_quit;
    double m_time;           // capture thread: capture time of the last block's first sample
    double m_blockDuration;  // seconds of one block
    RecorderCallback* m_callback;
    uint32_t m_positions[NOTIFY_COUNT];  // last byte of each block, then the stop position
    int32_t m_tag;
    GUID m_device;
};
