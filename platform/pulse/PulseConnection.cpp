#include "platform/pulse/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include "os/OS_Clock.h"
#include "os/OS_Log.h"

#if defined(__SANITIZE_THREAD__)
// libpulse creates its lazily made internal mutexes (pa_once, static TLS)
// in whichever thread comes first and publishes them with atomics of its
// own, which the thread sanitizer cannot see into: the first lock of such a
// mutex from our thread while the main loop's thread is setting up is
// reported as a race on the mutex's memory. Only these reports are silenced;
// races in our code never pass through pa_mutex_lock.
extern "C" const char* __tsan_default_suppressions() { return "race:pa_mutex_lock\n"; }
#endif

PulseConnection::PulseConnection() : m_mainloop(nullptr), m_context(nullptr) {}

PulseConnection::~PulseConnection() { Disconnect(); }

int PulseConnection::Connect(const char* clientName) {
    m_mainloop = pa_threaded_mainloop_new();
    if (!m_mainloop) {
        OS_Log::Error("Sound: cannot create the PulseAudio main loop\n");
        return -1;
    }
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), clientName);
    if (!m_context) {
        OS_Log::Error("Sound: cannot create the PulseAudio context\n");
        Disconnect();
        return -1;
    }
    if (pa_threaded_mainloop_start(m_mainloop) < 0) {
        OS_Log::Error("Sound: cannot start the PulseAudio main loop\n");
        Disconnect();
        return -1;
    }

    // connect, then wait for the context to become ready or fail
    Lock();
    int result = -1;
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        int64_t deadline = OS_NowMs() + CONNECT_TIMEOUT_MS;
        for (;;) {
            pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY) {
                result = 0;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state) || !Pause(deadline))
                break;
        }
    }
    if (result != 0)
        OS_Log::Error("Sound: cannot connect to the sound server: %s\n", LastError());
    Unlock();
    if (result != 0)
        Disconnect();
    return result;
}

void PulseConnection::Disconnect() {
    if (m_context) {
        if (m_mainloop)
            Lock();
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
        if (m_mainloop)
            Unlock();
    }
    if (m_mainloop) {
        // stop joins the loop's thread: it must run without the lock
        pa_threaded_mainloop_stop(m_mainloop);
        pa_threaded_mainloop_free(m_mainloop);
        m_mainloop = nullptr;
    }
}

void PulseConnection::Lock() { pa_threaded_mainloop_lock(m_mainloop); }

void PulseConnection::Unlock() { pa_threaded_mainloop_unlock(m_mainloop); }

int PulseConnection::WaitOperation(pa_operation* op) {
    if (!op)
        return -1;
    int64_t deadline = OS_NowMs() + OPERATION_TIMEOUT_MS;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        if (!Pause(deadline)) {
            pa_operation_cancel(op);
            break;
        }
    }
    int result = pa_operation_get_state(op) == PA_OPERATION_DONE ? 0 : -1;
    pa_operation_unref(op);
    return result;
}

bool PulseConnection::Pause(int64_t deadlineMs) {
    if (OS_NowMs() >= deadlineMs)
        return false;
    Unlock();
    OS_Sleep(POLL_MS);
    Lock();
    return true;
}

const char* PulseConnection::LastError() const {
    return m_context ? pa_strerror(pa_context_errno(m_context)) : "no context";
}
