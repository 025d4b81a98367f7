#include "capture/FramePacer.h"

#include "capture/LatestFrame.h"
#include "os/OS_Log.h"

using RecordingFormat::FrameAt;
using RecordingFormat::PeriodStart;


FramePacer::FramePacer()
    : m_clock(nullptr), m_fps(RecordingFormat::FRAMES_PER_SECOND), m_next(0), m_pictures(0),
      m_missed(0), m_lateMax(0), m_lateTotal(0), m_first(0) {}

int FramePacer::Init(int frameSize) {
    MemPool& pool = MemPool::Frames();
    // A picture above 1920 x 1080 needs larger blocks than the pool was made
    // with; they are mapped once, not allocated per picture.
    if (frameSize > 0 && pool.Reserve((unsigned)frameSize) != 0) {
        OS_Log::Error("[FramePacer::Init] Error: no frame pool for pictures of %d bytes.\n", frameSize);
        return -1;
    }
    return m_sleep.Init(0);
}

void FramePacer::Start() {
    if (!m_clock)
        m_ownClock.Start(0);
    m_next = FrameAt(Now(), m_fps);
}

bool FramePacer::WaitForPeriod() {
    int64_t now = Now();
    int64_t due = PeriodStart(m_next, m_fps);
    if (now < due) {
        // Woken early by Wake: the caller comes back and the rest of the
        // wait is taken then. Rounded up, so the wake-up is never early.
        m_sleep.TimedWait((unsigned)((due - now + 999) / 1000));
        return false;
    }
    // The first period began before the thread did: not a late grab.
    if (m_pictures > 0) {
        int64_t late = (now - PeriodStart(FrameAt(now, m_fps), m_fps)) / 1000;
        m_lateTotal += late;
        if (late > m_lateMax)
            m_lateMax = late;
    }
    return true;
}

void FramePacer::Delivered(int64_t began) {
    // The listener numbers the picture by the same time.
    int64_t stamped = FrameAt(began, m_fps);
    // Every period from the one due up to this one got one picture at most.
    if (m_pictures > 0 && stamped > m_next)
        m_missed += stamped - m_next;
    if (m_pictures == 0)
        m_first = began;
    ++m_pictures;
    m_next = stamped + 1;
}

FramePacer::Stats FramePacer::GetStats() const {
    Stats s;
    s.pictures = m_pictures;
    s.periodsMissed = m_missed;
    s.latenessMsMax = m_lateMax;
    s.latenessMsTotal = m_lateTotal;
    s.firstMs = m_first / 1000;
    return s;
}

bool FramePacer::Picture(LatestFrame& frame, int size, void** buffer, MMUserMalloc** from) {
    *buffer = frame.Take(size);
    *from = &frame.Blocks();
    if (*buffer)
        return true;
    // no block free: try again
    if (frame.PicturesPut() > 0)
        return false;
    // nothing from the stream yet: black, as a failed grab
    struct NoPicture {
        bool Lends() const { return false; }
        int GrabLent(void**, MMUserMalloc**) { return -1; }
        int Grab(void*, int) { return -1; }
    } none;
    return Picture(none, size, buffer, from);
}
