#include "platform/pulse/PulseCaptureDevice.h"

#include <pulse/pulseaudio.h>

#include "os/OS_Log.h"
#include "platform/pulse/PulseCaptureBuffer.h"

namespace {

// What the device needs to know of its source.
struct SourceLookup {
    bool found = false;
    std::string name;
    pa_sample_spec spec = {};
};

// Runs on the main loop's thread.
void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    if (eol || !info)
        return;
    SourceLookup* lookup = static_cast<SourceLookup*>(userdata);
    lookup->found = true;
    lookup->name = info->name ? info->name : "";
    lookup->spec = info->sample_spec;
}

}  // namespace

PulseCaptureDevice::PulseCaptureDevice() : m_open(false), m_formats(0), m_channels(0) {}

PulseCaptureDevice::~PulseCaptureDevice() { Close(); }

int PulseCaptureDevice::Open(const char* sourceName) {
    if (m_connection.Connect("vidloom capture") != 0)
        return -1;

    // "@DEFAULT_SOURCE@" resolves to the default source's real name, so the
    // stream records the same source that the caps describe.
    const char* wanted = sourceName && *sourceName ? sourceName : "@DEFAULT_SOURCE@";
    SourceLookup lookup;
    m_connection.Lock();
    m_connection.WaitOperation(pa_context_get_source_info_by_name(m_connection.Context(), wanted,
                                                                  &OnSourceInfo, &lookup));
    m_connection.Unlock();
    if (!lookup.found) {
        OS_Log::Error("Sound: no source named %s: %s\n", wanted, m_connection.LastError());
        Close();
        return -1;
    }
    m_sourceName = lookup.name;
    m_formats = 1u << (lookup.spec.format & 31);
    m_channels = lookup.spec.channels;
    m_open = true;
    return 0;
}

void PulseCaptureDevice::Close() {
    m_connection.Disconnect();
    m_open = false;
}

int PulseCaptureDevice::GetCaps(uint32_t& formats, int& channels) const {
    if (!m_open)
        return -1;
    formats = m_formats;
    channels = m_channels;
    return 0;
}

PulseCaptureBuffer* PulseCaptureDevice::CreateBuffer(int bytes, int channels, int sampleRate,
                                                     int bitsPerSample) {
    if (!m_open)
        return nullptr;
    PulseCaptureBuffer* buffer = new PulseCaptureBuffer;
    if (buffer->Init(&m_connection, m_sourceName, bytes, channels, sampleRate, bitsPerSample) != 0) {
        delete buffer;
        return nullptr;
    }
    return buffer;
}
