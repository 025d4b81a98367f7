#pragma once

// Receives the sound blocks of a Recorder. Called on the Recorder's capture
// thread (two recorders may call the same object at once); must return well
// within one block's time (about 93 ms) and must not Close its own Recorder.
class RecorderCallback {
public:
    // One block of interleaved signed 16-bit little-endian PCM, size bytes.
    // tag is the Recorder's label; time is when the block's first sample
    // was captured, in seconds on the OS_NowMs() clock (OS_NowMs() / 1000.0),
    // from the sound server's latency: blocks that waited keep their time.
    // data is reused for the next block: copy what you keep.
    // Returns 0; the result is not used.
    virtual int OnAudioData(int tag, double time, const void* data, int size) = 0;

protected:
    // The recording engine inherits this beside its other bases; never deleted
    // through it.
    ~RecorderCallback() = default;
};
