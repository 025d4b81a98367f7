#include "os/OS_Thread.h"

OS_Thread::OS_Thread() : m_handle(), m_running(false) {}

OS_Thread::~OS_Thread() {
    // Owners join before deleting; a thread still attached here is detached
    // so its resources are freed when it ends.
    if (m_running)
        pthread_detach(m_handle);
}

void* OS_Thread::Entry(void* self) {
    static_cast<OS_Thread*>(self)->Run();
    return nullptr;
}

int OS_Thread::Start() {
    if (m_running)
        return -1;
    if (pthread_create(&m_handle, nullptr, &OS_Thread::Entry, this) != 0)
        return -1;
    m_running = true;
    return 0;
}

void OS_Thread::Join() {
    if (!m_running)
        return;
    pthread_join(m_handle, nullptr);
    m_running = false;
}
