#pragma once

#include <cstdint>

// Suspends the calling thread for ms milliseconds.
void OS_Sleep(unsigned ms);

// Milliseconds on a monotonic clock. Only differences between readings mean
// anything; a change of the wall clock does not move it.
int64_t OS_NowMs();
// The same clock in microseconds: OS_NowUs() / 1000 == OS_NowMs().
int64_t OS_NowUs();

// Elapsed-milliseconds clock of a recording.
class OS_Clock {
public:
    OS_Clock();

    // Starts counting; every reading adds offsetMs.
    void Start(int64_t offsetMs);
    // 0 before Start; else milliseconds since Start plus the offset.
    int64_t Elapsed() const;
    // The reading the clock had (or will have) at nowMs of OS_NowMs(); 0
    // before Start.
    int64_t ElapsedAt(int64_t nowMs) const;
    // The reading in microseconds: what pictures and sound are stamped with.
    int64_t ElapsedUs() const;
    // The reading in microseconds at nowUs of OS_NowUs(); 0 before Start.
    int64_t ElapsedUsAt(int64_t nowUs) const;

private:
    int64_t m_startUs;   // OS_NowUs() at Start; 0: not started
    int64_t m_offsetMs;  // added to every reading
};
