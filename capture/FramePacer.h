#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "capture/ScreenCapListener.h"
#include "media/MemPool.h"
#include "media/RecordingFormat.h"
#include "os/OS_Clock.h"
#include "os/OS_Semaphore.h"

// Paces a capture thread on the frame grid of the recording clock: the
// listener numbers a picture taken at elapsed time t as frame
// (int)(t / 40 + 0.5), so frame n's period runs from 40n - 20 ms to
// 40n + 20 ms. The thread grabs once at the start of each period and sleeps
// in between; a picture grabbed twice in one period would never be written.
//
// The owner (UI thread) calls SetClock and Init before the thread starts
// and Wake to stop it; the capture thread runs RunCapture. Stats may be
// read from any thread.
class FramePacer {
public:
    // One picture per frame of the recording (25 per second), in ms.
    static constexpr int FRAME_PERIOD_MS = (int)RecordingFormat::FRAME_PERIOD_MS;
    // Wait before asking the pool again when all its blocks are out, in ms.
    static constexpr unsigned POOL_RETRY_MS = 5;

    // How the capture kept to the grid. Lateness is how long after its
    // period's start a grab began, in ms of the clock (from the second
    // picture on: the first period began before the thread).
    struct Stats {
        int64_t pictures;        // grabs handed over
        int64_t periodsMissed;   // periods since the first grab without a picture
        int64_t latenessMsMax;
        int64_t latenessMsTotal; // over all pictures but the first
    };

    FramePacer();

    // The clock the listener numbers frames with; not owned, must outlive the
    // thread. Null: the pacer's own clock, started by Start.
    void SetClock(const OS_Clock* clock) { m_clock = clock; }
    // Makes the frame pool's blocks hold pictures of frameSize bytes and
    // creates the semaphore the thread sleeps on. 0, or -1 (logged) when the
    // pool cannot hold such pictures.
    int Init(int frameSize);
    // Cuts the current sleep short (Stop). Any thread.
    void Wake() { m_sleep.Post(); }

    Stats GetStats() const;

    // The body of a capture thread, until quit is set: at the start of each
    // period one picture of frameSize bytes from grabber (anything with
    // int Grab(void*, int), 0 on success) into a block of the frame pool,
    // handed to listener with the elapsed ms at which the grab began as its
    // timestamp.
    template <class Grabber>
    void RunCapture(Grabber& grabber, int frameSize, ScreenCapListener* listener, const std::atomic<bool>& quit);

    // The frame number at elapsed time elapsedMs (>= 0) and the elapsed time
    // at which frame's period begins.
    static int64_t FrameAt(int64_t elapsedMs) { return (elapsedMs + FRAME_PERIOD_MS / 2) / FRAME_PERIOD_MS; }
    static int64_t PeriodStart(int64_t frame) { return frame * FRAME_PERIOD_MS - FRAME_PERIOD_MS / 2; }

private:
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // Capture thread, first: starts the own clock when there is no other,
    // and makes the current period the next to grab.
    void Start();
    // Sleeps until the period of the next picture has begun, or until Wake.
    // true when a picture is due now, false when woken or when the
    // period is still ahead (the caller checks its quit flag and calls
    // again).
    bool WaitForPeriod();
    // After a picture whose grab began at elapsed time began was handed to
    // the listener: the next is due in the period after that one. A grab
    // that came back late still counts for the period it began in.
    void Delivered(int64_t began);
    int64_t Now() const { return m_clock ? m_clock->Elapsed() : m_ownClock.Elapsed(); }

    const OS_Clock* m_clock;  // not owned; null: m_ownClock
    OS_Clock m_ownClock;      // started by Start when there is no other
    OS_Semaphore m_sleep;     // posted only by Wake
    int64_t m_next;           // capture thread: the frame to grab next
    std::atomic<int64_t> m_pictures;
    std::atomic<int64_t> m_missed;
    std::atomic<int64_t> m_lateMax;
    std::atomic<int64_t> m_lateTotal;
};

template <class Grabber>
void FramePacer::RunCapture(Grabber& grabber, int frameSize, ScreenCapListener* listener,
                            const std::atomic<bool>& quit) {
    Start();
    if (frameSize <= 0)
        return;
    MemPool& pool = MemPool::Frames();
    while (!quit) {
        // sleep until this picture's frame period begins
        if (!WaitForPeriod())
            continue;

        // a pool block, or none free and try again shortly
        void* buffer = pool.Alloc((unsigned)frameSize);
        if (!buffer) {
            OS_Sleep(POOL_RETRY_MS);
            continue;
        }

        // the picture; a block still holds an older one, which a failed
        // grab (a window that vanished) must not pass off as new
        int64_t began = Now();
        if (grabber.Grab(buffer, frameSize) != 0)
            memset(buffer, 0, (size_t)frameSize);

        // wrap it with the time the grab began and hand it over; the
        // listener now owns the data
        MMPacket packet;
        packet.allocator = &pool;
        packet.Attach(buffer, frameSize, began, true);
        DeliverScreenFrame(listener, &packet);
        Delivered(began);
    }
}
