#include "os/OS_Mutex.h"

#include <time.h>

OS_Mutex::OS_Mutex() : m_mutex(), m_valid(false) {}

OS_Mutex::~OS_Mutex() {
    if (m_valid)
        pthread_mutex_destroy(&m_mutex);
}

int OS_Mutex::Init() {
    if (m_valid)
        return 0;
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0)
        return -1;
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(&m_mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0)
        return -1;
    m_valid = true;
    return 0;
}

int OS_Mutex::Lock() {
    if (!m_valid)
        return -1;
    return pthread_mutex_lock(&m_mutex) == 0 ? 0 : -1;
}

int OS_Mutex::TryLock() {
    if (!m_valid)
        return -1;
    // pthread_mutex_timedlock measures against CLOCK_REALTIME.
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_nsec += 1000000;
    if (deadline.tv_nsec >= 1000000000) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000;
    }
    return pthread_mutex_timedlock(&m_mutex, &deadline) == 0 ? 0 : -1;
}

void OS_Mutex::Unlock() {
    if (m_valid)
        pthread_mutex_unlock(&m_mutex);
}
