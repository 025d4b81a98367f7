#include "os/OS_Semaphore.h"

#include <chrono>

OS_Semaphore::OS_Semaphore() : m_count(0), m_valid(false) {}

int OS_Semaphore::Init(int initialCount) {
    if (initialCount < 0 || initialCount > MAX_COUNT)
        return -1;
    std::lock_guard<std::mutex> guard(m_mutex);
    m_count = initialCount;
    m_valid = true;
    return 0;
}

int OS_Semaphore::Wait() {
    std::unique_lock<std::mutex> guard(m_mutex);
    if (!m_valid)
        return -1;
    m_cond.wait(guard, [this] { return m_count > 0; });
    --m_count;
    return 0;
}

int OS_Semaphore::TimedWait(unsigned ms) {
    std::unique_lock<std::mutex> guard(m_mutex);
    if (!m_valid)
        return -1;
    if (!m_cond.wait_for(guard, std::chrono::milliseconds(ms), [this] { return m_count > 0; }))
        return -1;
    --m_count;
    return 0;
}

void OS_Semaphore::Post() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_valid || m_count >= MAX_COUNT)
            return;
        ++m_count;
    }
    m_cond.notify_one();
}
