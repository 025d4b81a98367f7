#include "os/OS_Clock.h"

#include <errno.h>
#include <time.h>

void OS_Sleep(unsigned ms) {
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (long)(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

int64_t OS_NowUs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // Shifted by one second so that a reading is never 0, which OS_Clock
    // uses to mean "not started".
    return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000 + 1000000;
}

int64_t OS_NowMs() { return OS_NowUs() / 1000; }

OS_Clock::OS_Clock() : m_startUs(0), m_offsetMs(0) {}

void OS_Clock::Start(int64_t offsetMs) {
    m_offsetMs = offsetMs;
    m_startUs = OS_NowUs();
}

int64_t OS_Clock::Elapsed() const { return ElapsedAt(OS_NowMs()); }

int64_t OS_Clock::ElapsedAt(int64_t nowMs) const {
    if (m_startUs == 0)
        return 0;
    return nowMs - m_startUs / 1000 + m_offsetMs;
}

int64_t OS_Clock::ElapsedUs() const { return ElapsedUsAt(OS_NowUs()); }

int64_t OS_Clock::ElapsedUsAt(int64_t nowUs) const {
    if (m_startUs == 0)
        return 0;
    return nowUs - m_startUs + m_offsetMs * 1000;
}
