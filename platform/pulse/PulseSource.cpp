#include "platform/pulse/PulseSource.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "os/OS_Clock.h"
#include "os/OS_Log.h"

PulseSource::PulseSource()
    : m_stream(nullptr), m_sink(nullptr), m_delivering(false), m_stopping(false), m_fill(0),
      m_fragmentOffset(0), m_readBytes(0), m_blockStart(0), m_bytesPerSecond(0), m_dated(false),
      m_streamTime(0), m_readyMs(0), m_timingAskedMs(0) {}

PulseSource::~PulseSource() { Close(); }

int PulseSource::Connect() { return m_connection.Connect("vidloom capture"); }

int PulseSource::ListSources(std::vector<PulseSourceInfo>& sources) {
    return m_connection.ListSources(sources);
}

int PulseSource::FindSource(const char* name, PulseSourceInfo& source) {
    // "@DEFAULT_SOURCE@" resolves to the default source's real name, so the
    // stream records the source the caller was told about
    return m_connection.FindSource(name && *name ? name : "@DEFAULT_SOURCE@", source);
}

// Steps: check the format, create the stream, connect it with one block per
// fragment, wait until it is ready.
int PulseSource::OpenStream(const std::string& sourceName, int channels, int sampleRate,
                            int framesPerBlock, PulseBlockSink* sink) {
    if (m_stream || !m_connection.Context())
        return -1;
    pa_sample_spec spec;
    spec.format = PA_SAMPLE_S16LE;
    spec.channels = (uint8_t)std::min(std::max(channels, 0), 255);
    spec.rate = (uint32_t)std::max(sampleRate, 0);
    if (channels != spec.channels || !pa_sample_spec_valid(&spec) || framesPerBlock <= 0)
        return -1;
    m_sourceName = sourceName;
    m_sink = sink;
    m_bytesPerSecond = (int)pa_bytes_per_second(&spec);
    m_block.assign((size_t)framesPerBlock * pa_frame_size(&spec), 0);

    m_stream = pa_stream_new(m_connection.Context(), "vidloom capture", &spec, nullptr);
    if (!m_stream) {
        OS_Log::Error("Sound: cannot create a record stream: %s\n", m_connection.LastError());
        return -1;
    }
    pa_stream_set_read_callback(m_stream, &PulseSource::OnRead, this);
    pa_stream_set_state_callback(m_stream, &PulseSource::OnState, this);
    pa_stream_set_latency_update_callback(m_stream, &PulseSource::OnTiming, this);

    // The server sends one fragment per block, so a steady source wakes the
    // reader once per block. maxlength stays the server's (seconds of
    // sound): that is where sound waits while the sink is slow.
    pa_buffer_attr attr;
    attr.maxlength = (uint32_t)-1;
    attr.tlength = (uint32_t)-1;
    attr.prebuf = (uint32_t)-1;
    attr.minreq = (uint32_t)-1;
    attr.fragsize = (uint32_t)m_block.size();
    int result = -1;
    if (pa_stream_connect_record(m_stream, m_sourceName.c_str(), &attr, PA_STREAM_ADJUST_LATENCY) >= 0) {
        int64_t deadline = OS_NowMs() + PulseConnection::CONNECT_TIMEOUT_MS;
        for (;;) {
            pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY) {
                result = 0;
                break;
            }
            int64_t left = deadline - OS_NowMs();
            if (!PA_STREAM_IS_GOOD(state) || left <= 0 || m_connection.Iterate((int)left) != 0)
                break;
        }
    }
    if (result != 0) {
        OS_Log::Error("Sound: cannot record from %s: %s\n", m_sourceName.c_str(), m_connection.LastError());
        return -1;
    }
    m_readyMs = OS_NowMs();
    m_timingAskedMs = m_readyMs;
    pa_operation* op = pa_stream_update_timing_info(m_stream, nullptr, nullptr);
    if (op)
        pa_operation_unref(op);
    return 0;
}

int PulseSource::GetFormat(int& channels, int& sampleRate, int& fragmentBytes) const {
    if (!m_stream)
        return -1;
    const pa_sample_spec* spec = pa_stream_get_sample_spec(m_stream);
    const pa_buffer_attr* attr = pa_stream_get_buffer_attr(m_stream);
    if (!spec || !attr)
        return -1;
    channels = spec->channels;
    sampleRate = (int)spec->rate;
    fragmentBytes = (int)attr->fragsize;
    return 0;
}

int PulseSource::Run(int maxWaitMs) {
    if (m_stopping)
        return 0;
    // a fresh timing report now and then: the device's clock may drift
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY &&
        OS_NowMs() - m_timingAskedMs >= TIMING_INTERVAL_MS) {
        m_timingAskedMs = OS_NowMs();
        pa_operation* op = pa_stream_update_timing_info(m_stream, nullptr, nullptr);
        if (op)
            pa_operation_unref(op);
    }
    return m_connection.Iterate(std::min(maxWaitMs, TIMING_INTERVAL_MS));
}

void PulseSource::Stop() {
    m_stopping = true;
    m_connection.Wakeup();
}

void PulseSource::Close() {
    if (m_stream) {
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_latency_update_callback(m_stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
            pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    m_connection.Disconnect();
}

void PulseSource::OnRead(pa_stream*, size_t, void* self) { static_cast<PulseSource*>(self)->Pump(); }

void PulseSource::OnTiming(pa_stream*, void* self) {
    PulseSource* source = static_cast<PulseSource*>(self);
    source->TakeTiming();
    source->Pump();  // data held back for want of a date
}

void PulseSource::OnState(pa_stream* stream, void* self) {
    pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        OS_Log::Warning("Sound: recording from %s has ended: %s\n",
                        static_cast<PulseSource*>(self)->m_sourceName.c_str(),
                        pa_strerror(pa_context_errno(pa_stream_get_context(stream))));
}

void PulseSource::TakeTiming() {
    const pa_timing_info* info = m_stream ? pa_stream_get_timing_info(m_stream) : nullptr;
    if (!info || info->write_index_corrupt || m_bytesPerSecond <= 0)
        return;
    // The report left the server transport_usec before it arrived; then the
    // byte at the write index was being captured, less what the device
    // still held (source_usec). A sink's monitor hands sound over before the
    // sink plays it (sink_usec, 0 for other sources): it is heard, and
    // belongs on the time line, that much later.
    double measured = OS_NowUs() / 1e6 - (double)info->transport_usec / 1e6 -
                      (double)info->source_usec / 1e6 + (double)info->sink_usec / 1e6 -
                      (double)info->write_index / m_bytesPerSecond;
    if (!m_dated || std::fabs(measured - m_streamTime) > TIMING_JUMP_S)
        m_streamTime = measured;
    else
        m_streamTime += (measured - m_streamTime) /
                        (measured < m_streamTime ? TIMING_SMOOTHING_EARLIER : TIMING_SMOOTHING_LATER);
    m_dated = true;
}

bool PulseSource::DateByArrival() {
    if (m_dated)
        return true;
    if (OS_NowMs() - m_readyMs < TIMING_WAIT_MS)
        return false;
    // what is waiting was captured just now, the newest byte last
    size_t waiting = pa_stream_readable_size(m_stream);
    if (waiting == (size_t)-1)
        waiting = 0;
    m_streamTime = OS_NowMs() / 1000.0 - (double)(m_readBytes + (int64_t)waiting) / m_bytesPerSecond;
    m_dated = true;
    return true;
}

void PulseSource::Pump() {
    if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return;
    while (!m_stopping && DateByArrival()) {
        // the stream's current fragment, of which m_fragmentOffset bytes are taken
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0)
            return;
        while (m_fragmentOffset < bytes) {
            if (m_fill == 0)
                m_blockStart = m_readBytes;
            size_t count = std::min(bytes - m_fragmentOffset, m_block.size() - m_fill);
            if (data)
                memcpy(&m_block[m_fill], static_cast<const uint8_t*>(data) + m_fragmentOffset, count);
            else
                memset(&m_block[m_fill], 0, count);  // a hole: silence keeps the sample count
            m_fill += count;
            m_fragmentOffset += count;
            m_readBytes += (int64_t)count;
            if (m_fill < m_block.size())
                continue;
            m_fill = 0;
            if (m_delivering && m_sink)
                m_sink->OnSoundBlock(m_streamTime + (double)m_blockStart / m_bytesPerSecond, m_block.data(),
                                     (int)m_block.size());
            if (m_stopping)
                return;  // the rest of the fragment stays for nobody
        }
        pa_stream_drop(m_stream);
        m_fragmentOffset = 0;
    }
}
