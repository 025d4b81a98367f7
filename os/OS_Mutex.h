#pragma once

#include <pthread.h>

// Recursive mutex: the holder may lock it again and unlocks as often.
class OS_Mutex {
public:
    OS_Mutex();
    ~OS_Mutex();

    // Creates the mutex, unlocked. 0, or -1.
    int Init();
    // Waits without limit. 0, or -1 before Init.
    int Lock();
    // Waits at most 1 ms. 0 when now held, -1 otherwise.
    int TryLock();
    // Releases one level; nothing before Init.
    void Unlock();

private:
    OS_Mutex(const OS_Mutex&) = delete;
    OS_Mutex& operator=(const OS_Mutex&) = delete;

    pthread_mutex_t m_mutex;
    bool m_valid;
};
