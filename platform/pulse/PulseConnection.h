#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The PulseAudio types stay opaque here, so that callers outside platform/
// never see a PulseAudio header.
struct pa_mainloop;
struct pa_context;
struct pa_operation;

// One source (capture device) of the sound server.
struct PulseSourceInfo {
    std::string name;         // the server's name for the source, unique
    std::string description;  // for people, UTF-8
    std::string driver;       // the module that provides it ("module-alsa-card.c")
    bool monitor = false;     // it records what an output plays
    uint32_t formatMask = 0;  // bit n: the source's own sample format is PulseAudio format n
    int channels = 0;         // the source's own channel count
};

// One connection to the sound server: a main loop of our own (no thread of
// its own) and its context. Whoever calls a member runs the loop, so one
// thread at a time uses it; the owner may hand it to another thread (a
// capture thread started after Open). Every wait for the server is bounded,
// so a server that hangs (stopped, say) costs at most one time-out per call.
class PulseConnection {
public:
    // How long Connect waits for the server to answer. A dead socket fails at
    // once; this only bounds a server that accepts and then hangs: the
    // caller must not look frozen for long: the screen bar lists the
    // devices before it shows, and should show within 3 s whatever the
    // server does. A local server that works answers in milliseconds.
    static constexpr int CONNECT_TIMEOUT_MS = 2000;
    // How long one request (a source look-up, the list, a stream connect)
    // may take before it is given up and counted as failed.
    static constexpr int OPERATION_TIMEOUT_MS = 2500;

    PulseConnection();
    ~PulseConnection();

    // Connects to the server given by the environment (never spawns one).
    // 0, or -1 after logging the reason (and everything released).
    int Connect(const char* clientName);
    // Ends the context and frees the loop; never waits for the server.
    // Safe in any state and twice.
    void Disconnect();

    // Runs the loop once: waits at most maxWaitMs for the server, then runs
    // the callbacks due. 0, or -1 when the loop has failed.
    int Iterate(int maxWaitMs);
    // Any thread: ends a wait of Iterate at once.
    void Wakeup();
    // Runs the loop until op has finished; cancels it after
    // OPERATION_TIMEOUT_MS. Takes op over (null counts as failed). 0 when
    // done, -1 otherwise.
    int WaitOperation(pa_operation* op);

    // Appends every source in the server's order. 0, or -1 after logging.
    int ListSources(std::vector<PulseSourceInfo>& sources);
    // The source named name ("@DEFAULT_SOURCE@": the default one). 0, or -1
    // when there is none (not logged) or the server does not answer.
    int FindSource(const char* name, PulseSourceInfo& source);

    pa_context* Context() const { return m_context; }
    // The server's reason for the last failure, for log lines.
    const char* LastError() const;

private:
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_mainloop* m_mainloop;
    pa_context* m_context;
};

// Lists the sources on a connection of its own: 0, or -1 after logging (no
// server, or the list cannot be read); on -1 the vector keeps what it had.
// Any thread.
int PulseEnumerateSources(std::vector<PulseSourceInfo>& sources);
