#pragma once

#include <cstdint>
#include <string>

#include "os/OS_Mutex.h"
#include "os/OS_Semaphore.h"

class PulseConnection;
struct pa_operation;
struct pa_stream;

// A capture ring filled from a record stream of one source.
//
// The notification positions cut the ring into segments, each ending at its
// position. The main loop's thread copies the stream into the ring segment by
// segment; when it writes a segment's last byte it signals that position.
// It never writes into a segment that has been signalled and not yet
// unlocked: the data then waits in the server's stream, so a source that
// hands over seconds at once (or a slow reader) loses nothing.
//
// Threads: Start, Stop and Close run on the owner's thread; WaitNotification,
// Lock and Unlock on the one reading thread; the main loop's thread writes.
// m_ringLock guards the segment states, the write position and the pending
// notifications. Lock order: main loop lock, then m_ringLock.
class PulseCaptureBuffer {
public:
    // Three block positions and one stop position at most.
    static constexpr int MAX_POSITIONS = 4;
    // The position that is signalled by Stop instead of by data.
    static constexpr uint32_t OFFSET_STOP = 0xFFFFFFFF;
    // How long data waits for a timing report that dates it before it is
    // dated as following the previous block.
    static constexpr int64_t TIMING_WAIT_MS = 500;

    PulseCaptureBuffer();
    ~PulseCaptureBuffer();

    // Called by PulseCaptureDevice::CreateBuffer: allocates the ring and the
    // stream object. 0, or -1.
    int Init(PulseConnection* connection, const std::string& sourceName, int bytes,
             int channels, int sampleRate, int bitsPerSample);
    // Connects the stream to the source, paused, with a server fragment of
    // one segment. 0, or -1 after logging the reason.
    int Connect(int fragmentBytes);
    // Disconnects and frees; safe in any state and twice. Call after the
    // reading thread has ended.
    void Close();

    // Ring size in bytes.
    int GetSize() const { return m_size; }
    // The format the stream really delivers. 0, or -1 when not connected.
    int GetFormat(int& channels, int& sampleRate) const;
    // Registers count positions (offsets inside the ring, ascending, or
    // OFFSET_STOP); notifications carry the index of the position. 0, or -1
    // when an offset lies outside the ring.
    int SetNotificationPositions(int count, const uint32_t* offsets);

    // Starts filling the ring round and round. 0, or -1 after logging why.
    int Start();
    // Stops filling and signals the stop position. Does not wait for the
    // server, so it returns at once even when the source has gone.
    int Stop();

    // Waits at most timeoutMs for a notification and takes it. The index of
    // the position, the earliest signalled first; -1 on time-out.
    int WaitNotification(unsigned timeoutMs);
    // Gives the bytes bytes at offset as one or two regions (the second when
    // the span wraps, else null and 0). Signalled segments in the span stay
    // untouched until Unlock. 0, or -1 when the span does not fit the ring.
    int Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* size1, void** part2,
             uint32_t* size2);
    // Hands the regions of a Lock back; their segments may be refilled.
    int Unlock(void* part1, uint32_t size1, void* part2, uint32_t size2);
    // When the first sample of the segment that ends at position index was
    // captured: seconds on the OS_NowMs() clock (OS_NowMs() / 1000.0), from
    // the server's timing report (the stream's latency then), so sound that
    // waited (in the server, in the stream, behind a full ring) keeps its
    // time; for a sink's monitor, when the sink plays it. Valid from its
    // notification until Unlock; 0 for a position without data.
    double CaptureTime(int index);

private:
    PulseCaptureBuffer(const PulseCaptureBuffer&) = delete;
    PulseCaptureBuffer& operator=(const PulseCaptureBuffer&) = delete;

    enum SegmentState { SEGMENT_FREE, SEGMENT_FULL, SEGMENT_READING };

    static void OnRead(pa_stream* stream, size_t bytes, void* self);
    static void OnState(pa_stream* stream, void* self);
    // A timing report: data held back for want of one can be dated now.
    static void OnTiming(pa_stream* stream, void* self);

    // With the main loop lock held: moves stream data into free segments.
    void Pump();
    // With the main loop lock held: when the byte at the stream's read index
    // plus offset bytes was captured, seconds on the OS_NowMs() clock, from
    // the first timing report that knows the byte; 0 while there is none
    // (one has been asked for).
    double StreamTime(size_t offset);
    // With m_ringLock held: queues a notification and wakes the reader.
    void Signal(int index);
    // With m_ringLock held: the segment that holds byte offset, or -1.
    int SegmentOf(uint32_t offset) const;
    // With m_ringLock held: sets every segment touched by the span from
    // state "from" to state "to".
    void MarkSpan(uint32_t offset, uint32_t bytes, SegmentState from, SegmentState to);

    PulseConnection* m_connection;  // not owned
    std::string m_sourceName;
    pa_stream* m_stream;            // these two under the main loop lock
    size_t m_fragmentOffset;        // bytes of the stream's current fragment already copied
    double m_nextTime;              // capture time of the byte after the last segment begun; 0: none
    int m_bytesPerSecond;
    pa_operation* m_timingRequest;  // a timing report asked for, or null
    int64_t m_timingAskedMs;        // OS_NowMs() when it was asked for
    uint8_t* m_ring;
    int m_size;

    // Segment k ends at byte m_segmentEnd[k] and reports position m_segmentIndex[k].
    int m_segmentCount;
    uint32_t m_segmentEnd[MAX_POSITIONS];
    int m_segmentIndex[MAX_POSITIONS];
    int m_stopIndex;                // position of OFFSET_STOP, or -1

    OS_Mutex m_ringLock;            // guards the fields below
    SegmentState m_state[MAX_POSITIONS];
    double m_segmentTime[MAX_POSITIONS];  // capture time of each segment's first byte
    uint32_t m_writePos;            // next ring byte the stream fills
    bool m_running;                 // between Start and Stop
    bool m_pending[MAX_POSITIONS];  // signalled, not yet taken
    int m_queue[MAX_POSITIONS];     // pending indexes in signal order
    int m_queueHead;
    int m_queueCount;
    OS_Semaphore m_signals;         // one count per queued notification
};
