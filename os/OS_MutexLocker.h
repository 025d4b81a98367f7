#pragma once

#include "os/OS_Mutex.h"

// Holds an OS_Mutex for one scope, so an early return cannot leave it locked.
class OS_MutexLocker {
public:
    explicit OS_MutexLocker(OS_Mutex& mutex) : m_mutex(mutex) { m_mutex.Lock(); }
    ~OS_MutexLocker() { m_mutex.Unlock(); }

private:
    OS_MutexLocker(const OS_MutexLocker&) = delete;
    OS_MutexLocker& operator=(const OS_MutexLocker&) = delete;

    OS_Mutex& m_mutex;
};
