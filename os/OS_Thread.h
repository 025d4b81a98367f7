#pragma once

#include <pthread.h>

// Base of every thread the program starts itself. A subclass supplies Run()
// and its own atomic quit flag; its stopping operation sets the flag, then
// calls Join(). A stopped thread object is never started again.
class OS_Thread {
public:
    OS_Thread();
    // Forgets the thread without waiting: owners stop and join first.
    virtual ~OS_Thread();

    // Starts a thread that calls Run() once. 0, or -1 when it cannot be
    // created. Called by the owner (UI thread).
    int Start();
    // Waits until Run() has returned. Returns at once when not started or
    // already joined. Never call it from the thread itself.
    void Join();

protected:
    // The thread's body; its return value is not used.
    virtual int Run() = 0;

private:
    static void* Entry(void* self);

    pthread_t m_handle;
    bool m_running;  // true while m_handle names a thread not yet joined
};
