#include "platform/pulse/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include "os/OS_Clock.h"
#include "os/OS_Log.h"

#if defined(__SANITIZE_THREAD__)
// libpulse creates its lazily made internal mutexes (pa_once, static TLS)
// in whichever thread comes first and publishes them with atomics of its
// own, which the thread sanitizer cannot see into: two connections set up on
// two threads are reported as a race on the mutex's memory. Only these
// reports are silenced; races in our code never pass through pa_mutex_lock.
extern "C" const char* __tsan_default_suppressions() { return "race:pa_mutex_lock\n"; }
#endif

namespace {

// Runs inside Iterate, once per source and once at the end.
void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    if (eol || !info)
        return;
    PulseSourceInfo source;
    source.name = info->name ? info->name : "";
    source.description = info->description ? info->description : source.name;
    source.driver = info->driver ? info->driver : "";
    source.monitor = info->monitor_of_sink != PA_INVALID_INDEX;
    source.formatMask = 1u << (info->sample_spec.format & 31);
    source.channels = info->sample_spec.channels;
    static_cast<std::vector<PulseSourceInfo>*>(userdata)->push_back(source);
}

}  // namespace

PulseConnection::PulseConnection() : m_mainloop(nullptr), m_context(nullptr) {}

PulseConnection::~PulseConnection() { Disconnect(); }

int PulseConnection::Connect(const char* clientName) {
    m_mainloop = pa_mainloop_new();
    if (!m_mainloop) {
        OS_Log::Error("Sound: cannot create the PulseAudio main loop\n");
        return -1;
    }
    m_context = pa_context_new(pa_mainloop_get_api(m_mainloop), clientName);
    if (!m_context) {
        OS_Log::Error("Sound: cannot create the PulseAudio context\n");
        Disconnect();
        return -1;
    }
    // connect, then run the loop until the context is ready or fails
    int result = -1;
    bool late = false;
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        int64_t deadline = OS_NowMs() + CONNECT_TIMEOUT_MS;
        for (;;) {
            pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY) {
                result = 0;
                break;
            }
            int64_t left = deadline - OS_NowMs();
            late = left <= 0;
            if (!PA_CONTEXT_IS_GOOD(state) || late || Iterate((int)left) != 0)
                break;
        }
    }
    if (result != 0) {
        OS_Log::Error("Sound: cannot connect to the sound server: %s\n", late ? "no answer" : LastError());
        Disconnect();
    }
    return result;
}

void PulseConnection::Disconnect() {
    if (m_context) {
        // only queues the goodbye: a hung server does not hold us up
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (m_mainloop) {
        pa_mainloop_free(m_mainloop);
        m_mainloop = nullptr;
    }
}

int PulseConnection::Iterate(int maxWaitMs) {
    if (!m_mainloop)
        return -1;
    if (pa_mainloop_prepare(m_mainloop, maxWaitMs < 0 ? 0 : maxWaitMs * 1000) < 0 ||
        pa_mainloop_poll(m_mainloop) < 0 || pa_mainloop_dispatch(m_mainloop) < 0)
        return -1;
    return 0;
}

void PulseConnection::Wakeup() {
    if (m_mainloop)
        pa_mainloop_wakeup(m_mainloop);
}

int PulseConnection::WaitOperation(pa_operation* op) {
    if (!op)
        return -1;
    int64_t deadline = OS_NowMs() + OPERATION_TIMEOUT_MS;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        int64_t left = deadline - OS_NowMs();
        if (left <= 0 || Iterate((int)left) != 0) {
            pa_operation_cancel(op);
            break;
        }
    }
    int result = pa_operation_get_state(op) == PA_OPERATION_DONE ? 0 : -1;
    pa_operation_unref(op);
    return result;
}

int PulseConnection::ListSources(std::vector<PulseSourceInfo>& sources) {
    if (!m_context)
        return -1;
    std::vector<PulseSourceInfo> found;
    if (WaitOperation(pa_context_get_source_info_list(m_context, &OnSourceInfo, &found)) != 0) {
        OS_Log::Error("Sound: cannot list the sources: %s\n", LastError());
        return -1;
    }
    sources.insert(sources.end(), found.begin(), found.end());
    return 0;
}

int PulseConnection::FindSource(const char* name, PulseSourceInfo& source) {
    if (!m_context)
        return -1;
    std::vector<PulseSourceInfo> found;
    WaitOperation(pa_context_get_source_info_by_name(m_context, name, &OnSourceInfo, &found));
    if (found.empty())
        return -1;
    source = found.front();
    return 0;
}

const char* PulseConnection::LastError() const {
    return m_context ? pa_strerror(pa_context_errno(m_context)) : "no context";
}

int PulseEnumerateSources(std::vector<PulseSourceInfo>& sources) {
    PulseConnection connection;
    if (connection.Connect("vidloom device list") != 0)
        return -1;
    return connection.ListSources(sources);
}
