#pragma once

#include <cstdint>

// The PulseAudio types stay opaque here, so that callers outside platform/
// never see a PulseAudio header.
struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;

// One connection to the sound server: a threaded main loop and its context.
// The owner uses it from one thread at a time; every call on the context or
// its streams is made between Lock() and Unlock(), because the main loop's
// own thread runs the callbacks under that lock.
class PulseConnection {
public:
    // How long Connect waits for the server to answer. A dead socket fails at
    // once; this only bounds a server that accepts and then hangs (stopped,
    // say): the window waiting on it must not look frozen for 3 s.
    static constexpr int CONNECT_TIMEOUT_MS = 2500;
    // How long an operation (source lookup, cork) may take before it is
    // cancelled and counted as failed.
    static constexpr int OPERATION_TIMEOUT_MS = 2500;
    // Pause per pass while waiting for the server: short, so a wait never
    // adds much to a 93 ms block.
    static constexpr unsigned POLL_MS = 2;

    PulseConnection();
    ~PulseConnection();

    // Starts the main loop and connects to the server given by the
    // environment (never spawns one). 0, or -1 after logging the reason.
    int Connect(const char* clientName);
    // Ends the context and the main loop; safe in any state and twice.
    // Call without the lock.
    void Disconnect();

    void Lock();
    void Unlock();

    // With the lock held: waits until op has finished, cancels it after
    // OPERATION_TIMEOUT_MS. Takes op over (null counts as failed). 0 when
    // done, -1 otherwise.
    int WaitOperation(pa_operation* op);
    // With the lock held: lets the main loop run for one pause. false once
    // OS_NowMs() has passed deadlineMs.
    bool Pause(int64_t deadlineMs);

    pa_context* Context() const { return m_context; }
    // The server's reason for the last failure, for log lines.
    const char* LastError() const;

private:
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_threaded_mainloop* m_mainloop;
    pa_context* m_context;
};
