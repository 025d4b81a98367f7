#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "capture/ScreenCapListener.h"
#include "media/MemPool.h"
#include "media/RecordingFormat.h"
#include "os/OS_Clock.h"
#include "os/OS_Semaphore.h"

class LatestFrame;

// Paces a capture thread on the frame grid of the recording clock: a
// picture taken at elapsed time t is frame RecordingFormat::FrameAt(t, fps),
// so at 25 fps frame n's period runs from 40n - 20 ms to 40n + 20 ms. The thread grabs
// once at the start of each period, stamps the picture with the clock's
// reading in microseconds, and sleeps in between; a picture grabbed twice in
// one period would never be written.
//
// The owner (UI thread) calls SetClock and Init before the thread starts
// and Wake to stop it; the capture thread runs RunCapture. Stats may be
// read from any thread.
class FramePacer {
public:
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
        int64_t firstMs;         // when the first grab began, on the clock
    };

    FramePacer();

    // The recording clock pictures are stamped with; not owned, must outlive
    // the thread. Null: the pacer's own clock, started by Start.
    void SetClock(const OS_Clock* clock) { m_clock = clock; }
    // Pictures a second of the grid (25 unless set). Before the thread starts.
    void SetFrameRate(int fps) { m_fps = fps > 0 ? fps : RecordingFormat::FRAMES_PER_SECOND; }
    // Makes the frame pool's blocks hold pictures of frameSize bytes (0: the
    // pictures come from the grabber's own memory) and creates the semaphore
    // the thread sleeps on. 0, or -1 (logged) when the pool cannot hold such
    // pictures.
    int Init(int frameSize);
    // Cuts the current sleep short (Stop). Any thread.
    void Wake() { m_sleep.Post(); }

    Stats GetStats() const;

    // The body of a capture thread, until quit is set: at the start of each
    // period one picture of frameSize bytes from grabber (anything with
    // int Grab(void*, int), 0 on success, and Lends / GrabLent for memory
    // it lends itself) into a block of the frame pool,
    // or a LatestFrame's own block, stamped with the time its grab began (a
    // grab that comes back late still fills its period), handed to
    // listener.
    template <class Grabber>
    void RunCapture(Grabber& grabber, int frameSize, ScreenCapListener* listener, const std::atomic<bool>& quit);

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
    // After a picture whose grab began at clock time began was handed to
    // the listener: the next is due in the period after that one. A grab
    // that came back late still counts for the period it began in.
    void Delivered(int64_t began);
    // One picture of size bytes into *buffer, a block of *from that the
    // caller then holds: memory the grabber lends when it does (GrabLent),
    // else a pool block filled by grabber (black when it fails), or the
    // stream's newest picture as LatestFrame made it. false when there is no
    // block free.
    template <class Grabber>
    static bool Picture(Grabber& grabber, int size, void** buffer, MMUserMalloc** from);
    static bool Picture(LatestFrame& frame, int size, void** buffer, MMUserMalloc** from);
    // The clock's reading in microseconds.
    int64_t Now() const { return m_clock ? m_clock->ElapsedUs() : m_ownClock.ElapsedUs(); }

    const OS_Clock* m_clock;  // not owned; null: m_ownClock
    OS_Clock m_ownClock;      // started by Start when there is no other
    OS_Semaphore m_sleep;     // posted only by Wake
    int m_fps;
    int64_t m_next;           // capture thread: the frame to grab next
    std::atomic<int64_t> m_pictures;
    std::atomic<int64_t> m_missed;
    std::atomic<int64_t> m_lateMax;
    std::atomic<int64_t> m_lateTotal;
    std::atomic<int64_t> m_first;
};

template <class Grabber>
void FramePacer::RunCapture(Grabber& grabber, int frameSize, ScreenCapListener* listener,
                            const std::atomic<bool>& quit) {
    Start();
    if (frameSize <= 0)
        return;
    while (!quit) {
        // sleep until this picture's frame period begins
        if (!WaitForPeriod())
            continue;

        // the picture, or no block free and try again shortly
        int64_t began = Now();
        void* buffer = nullptr;
        MMUserMalloc* from = nullptr;
        if (!Picture(grabber, frameSize, &buffer, &from)) {
            OS_Sleep(POOL_RETRY_MS);
            continue;
        }

        // wrap it with the time the grab began and hand it over; the
        // listener now owns the data
        MMPacket packet;
        packet.allocator = from;
        packet.Attach(buffer, frameSize, began, true);
        packet.type = MMPacket::TYPE_VIDEO;
        DeliverScreenFrame(listener, &packet);
        Delivered(began);
    }
}

template <class Grabber>
bool FramePacer::Picture(Grabber& grabber, int size, void** buffer, MMUserMalloc** from) {
    if (grabber.Lends())
        return grabber.GrabLent(buffer, from) == 0;
    MemPool& pool = MemPool::Frames();
    *buffer = pool.Alloc((unsigned)size);
    *from = &pool;
    if (!*buffer)
        return false;
    // a block still holds an older picture, which a failed grab (a window
    // that vanished) must not pass off as new
    if (grabber.Grab(*buffer, size) != 0)
        memset(*buffer, 0, (size_t)size);
    return true;
}
