#pragma once

#include <condition_variable>
#include <mutex>

// Counting semaphore with a timed wait. The capture threads use TimedWait on
// a semaphore nobody posts as a pause that a Post could cut short.
class OS_Semaphore {
public:
    // Highest count; a Post beyond it is ignored.
    static constexpr int MAX_COUNT = 5000;

    OS_Semaphore();

    // Sets the initial count. 0, or -1 when the count is out of range.
    int Init(int initialCount);
    // Waits without limit for one count. 0, or -1 before Init.
    int Wait();
    // Waits at most ms milliseconds. 0 when a count was taken, -1 on
    // time-out or before Init.
    int TimedWait(unsigned ms);
    // Adds one count.
    void Post();

private:
    OS_Semaphore(const OS_Semaphore&) = delete;
    OS_Semaphore& operator=(const OS_Semaphore&) = delete;

    // A condition variable on the monotonic clock: a change of the wall clock
    // must not stretch or cut a pause.
    std::mutex m_mutex;  // guards m_count and m_valid
    std::condition_variable m_cond;
    int m_count;
    bool m_valid;
};
