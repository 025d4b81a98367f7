#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/pulse/PulseConnection.h"

struct pa_stream;

// Receives the blocks of a PulseSource on the thread that runs it. Must
// return well within one block's time; the sound waits in the server
// meanwhile, so a slow receiver loses nothing.
class PulseBlockSink {
public:
    // One block (bytes bytes of interleaved signed 16-bit samples) whose
    // first sample was captured at time, in seconds on the OS_NowMs() clock
    // (OS_NowMs() / 1000.0). data is reused for the next block.
    virtual void OnSoundBlock(double time, const uint8_t* data, int bytes) = 0;

protected:
    ~PulseBlockSink() = default;
};

// One source of the sound server, recorded through a stream of its own on a
// connection of its own, cut into blocks of a fixed number of frames, each
// dated by when its first sample was captured.
//
// Dating: every timing report of the server says how much the stream has
// been given (write index) and how long the newest sample spent in the
// device; taken at the report's arrival on the monotonic clock less its
// transport time, that dates byte 0 of the stream. Blocks are dated from a
// filtered value of it plus their place in the stream, so a burst (seconds
// handed over at once) keeps each block's own time and the report's jitter
// does not reach the blocks; the device's own clock (drift) is followed.
//
// Threads: Open and Close on any thread, one at a time; Run on the one
// thread that reads (started after Open, joined before Close), which also
// calls the sink. SetDelivering and Wakeup on any thread.
class PulseSource {
public:
    // How often the server is asked for a timing report: the dates follow a
    // device clock that drifts (0.2 % is 2 ms a second) this closely.
    static constexpr int TIMING_INTERVAL_MS = 250;
    // Longest wait for the first timing report; then the data is dated by
    // its arrival instead, rather than held back for good.
    static constexpr int TIMING_WAIT_MS = 500;
    // Each report moves the date of the stream by a part of its
    // disagreement. A report is never early, only late (our thread woke
    // late for it, under load by tens of ms): an earlier date is taken
    // quickly, a later one slowly, over about 4 s, which still follows a
    // device clock running 0.2 % slow within 8 ms.
    static constexpr int TIMING_SMOOTHING_EARLIER = 2;
    static constexpr int TIMING_SMOOTHING_LATER = 16;
    // A report this far off (seconds) is a jump (a stall, a moved stream):
    // taken at once.
    static constexpr double TIMING_JUMP_S = 0.2;

    PulseSource();
    ~PulseSource();

    // Connects to the server. 0, or -1 after logging.
    int Connect();
    // The server's sources, for finding a device by its id. 0, or -1.
    int ListSources(std::vector<PulseSourceInfo>& sources);
    // The source named name (null or empty: the server's default). 0, or -1
    // when there is none.
    int FindSource(const char* name, PulseSourceInfo& source);
    // Opens a stream recording sourceName in channels x 16-bit at
    // sampleRate (the server converts), cut into blocks of framesPerBlock
    // frames for sink. It runs from now on, but blocks reach the sink only
    // while delivering is set. 0, or -1 after logging the reason.
    int OpenStream(const std::string& sourceName, int channels, int sampleRate, int framesPerBlock,
                   PulseBlockSink* sink);
    // The format and fragment size the stream really has. 0, or -1.
    int GetFormat(int& channels, int& sampleRate, int& fragmentBytes) const;
    // Whether finished blocks go to the sink (else they are dropped).
    void SetDelivering(bool delivering) { m_delivering = delivering; }
    // Reading thread: one pass; waits at most maxWaitMs for the server,
    // reads what came and hands finished blocks to the sink. 0, or -1 when
    // the connection has failed.
    int Run(int maxWaitMs);
    // Any thread: Run returns at once, and stops handing blocks over.
    void Stop();
    // Ends the stream and the connection; never waits for the server. Safe
    // in any state and twice. After the reading thread has ended.
    void Close();

private:
    PulseSource(const PulseSource&) = delete;
    PulseSource& operator=(const PulseSource&) = delete;

    static void OnRead(pa_stream* stream, size_t bytes, void* self);
    static void OnState(pa_stream* stream, void* self);
    static void OnTiming(pa_stream* stream, void* self);

    // Moves what the stream holds into blocks and hands them over.
    void Pump();
    // Takes a timing report into the stream's date.
    void TakeTiming();
    // Until the first report: dates the stream by the arrival of its data
    // once TIMING_WAIT_MS have passed. true when the stream has a date.
    bool DateByArrival();

    PulseConnection m_connection;
    pa_stream* m_stream;
    std::string m_sourceName;
    PulseBlockSink* m_sink;
    std::atomic<bool> m_delivering;
    std::atomic<bool> m_stopping;
    // Reading thread from here on.
    std::vector<uint8_t> m_block;  // the block being filled
    size_t m_fill;                 // bytes in it
    size_t m_fragmentOffset;       // bytes of the stream's current fragment already taken
    int64_t m_readBytes;           // bytes taken from the stream so far: index of the next one
    int64_t m_blockStart;          // index of the block's first byte
    int m_bytesPerSecond;
    bool m_dated;                  // m_streamTime holds a date
    double m_streamTime;           // when byte 0 was captured (smoothed), OS_NowMs() seconds
    int64_t m_readyMs;             // OS_NowMs() when the stream became ready
    int64_t m_timingAskedMs;       // OS_NowMs() of the last report asked for
};
