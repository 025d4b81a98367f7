#pragma once

#include <atomic>
#include <cstdint>

#include "capture/GUID.h"
#include "capture/RecorderCallback.h"
#include "os/OS_Thread.h"
#include "platform/pulse/PulseSource.h"

// Records one sound capture device and hands it block by block to a
// RecorderCallback, on its own capture thread, each block with the time its
// first sample was captured. Created with new by its owner, opened once,
// started, stopped, closed and deleted; never restarted.
//
// Open, StartCapture and Close may run on any thread (one at a time): none
// waits on the sound server longer than the connection's time-outs, and
// Close does not wait for it at all.
class Recorder : public OS_Thread, private PulseBlockSink {
public:
    // Longest wait of the capture thread for the server before it checks
    // its quit flag again; Close wakes it at once anyway.
    static constexpr unsigned WAIT_MS = 20;

    // Stores the callback (not owned; null: nothing is delivered).
    explicit Recorder(RecorderCallback* callback);
    // Closes whatever is still open.
    ~Recorder() override;

    // Opens the device named by guidText (GUID text form; null or empty: the
    // default capture device) for blocks of framesPerBlock frames of
    // channels x 16-bit at sampleRate, and starts the capture thread, which
    // delivers nothing until StartCapture. tag comes back in every
    // OnAudioData. 0, or -1 after logging; a failed Open has released
    // everything.
    int Open(const char* guidText, int tag, int channels, int sampleRate, int framesPerBlock);
    // Starts delivering blocks. 0, or -1 after logging.
    int StartCapture();
    // Nothing to do: Close stops. Always 0.
    int StopCapture();
    // Ends the capture thread and releases the device. Returns at once
    // unless a callback is running (then when it returns), also when the
    // server hangs; no block is delivered after it returns. Any state,
    // twice. Never call it from the callback.
    void Close();

protected:
    // The capture thread.
    int Run() override;

private:
    // Step of Open: the source the device id stands for. 0, or -1.
    int FindSource(PulseSourceInfo& source);
    // Capture thread: one block from the source.
    void OnSoundBlock(double time, const uint8_t* data, int bytes) override;

    int32_t m_channels;
    int32_t m_sampleRate;
    int32_t m_bitsPerSample;
    int32_t m_bytesPerFrame;
    int32_t m_framesPerBlock;
    int32_t m_blockBytes;
    PulseSource* m_source;
    std::atomic<bool> m_quit;
    std::atomic<bool> m_capturing;  // set by StartCapture
    double m_time;           // capture thread: capture time of the last block's first sample
    double m_blockDuration;  // seconds of one block
    RecorderCallback* m_callback;
    int32_t m_tag;
    GUID m_device;
};
