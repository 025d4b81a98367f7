#include "platform/pulse/PulseCaptureBuffer.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>

#include "os/OS_Clock.h"
#include "os/OS_Log.h"
#include "os/OS_MutexLocker.h"
#include "platform/pulse/PulseConnection.h"

PulseCaptureBuffer::PulseCaptureBuffer()
    : m_connection(nullptr), m_stream(nullptr), m_fragmentOffset(0), m_nextTime(0), m_bytesPerSecond(0),
      m_timingRequest(nullptr), m_timingAskedMs(0),
      m_ring(nullptr), m_size(0), m_segmentCount(0), m_segmentEnd(), m_segmentIndex(), m_stopIndex(-1),
      m_state(), m_segmentTime(),
      m_writePos(0), m_running(false), m_pending(), m_queue(), m_queueHead(0), m_queueCount(0) {}

PulseCaptureBuffer::~PulseCaptureBuffer() { Close(); }

int PulseCaptureBuffer::Init(PulseConnection* connection, const std::string& sourceName, int bytes,
                             int channels, int sampleRate, int bitsPerSample) {
    pa_sample_spec spec;
    spec.format = PA_SAMPLE_S16LE;
    spec.channels = (uint8_t)std::min(std::max(channels, 0), 255);
    spec.rate = (uint32_t)std::max(sampleRate, 0);
    if (bitsPerSample != 16 || channels != spec.channels || !pa_sample_spec_valid(&spec) ||
        bytes <= 0 || bytes % (int)pa_frame_size(&spec) != 0)
        return -1;
    if (m_ringLock.Init() != 0 || m_signals.Init(0) != 0)
        return -1;
    m_ring = new uint8_t[bytes]();
    m_size = bytes;
    m_bytesPerSecond = (int)pa_bytes_per_second(&spec);
    m_connection = connection;
    m_sourceName = sourceName;

    m_connection->Lock();
    m_stream = pa_stream_new(m_connection->Context(), "vidloom capture", &spec, nullptr);
    if (m_stream) {
        pa_stream_set_read_callback(m_stream, &PulseCaptureBuffer::OnRead, this);
        pa_stream_set_state_callback(m_stream, &PulseCaptureBuffer::OnState, this);
        pa_stream_set_latency_update_callback(m_stream, &PulseCaptureBuffer::OnTiming, this);
    }
    m_connection->Unlock();
    if (!m_stream) {
        OS_Log::Error("Sound: cannot create a record stream: %s\n", m_connection->LastError());
        return -1;
    }
    return 0;
}

int PulseCaptureBuffer::Connect(int fragmentBytes) {
    if (!m_stream)
        return -1;
    // The server sends one fragment per block, so a steady source wakes the
    // reader once per block. maxlength stays the server's (seconds of
    // sound): that is where data waits while the ring is full.
    pa_buffer_attr attr;
    attr.maxlength = (uint32_t)-1;
    attr.tlength = (uint32_t)-1;
    attr.prebuf = (uint32_t)-1;
    attr.minreq = (uint32_t)-1;
    attr.fragsize = (uint32_t)fragmentBytes;

    m_connection->Lock();
    int result = -1;
    // The server's timing reports date every block.
    pa_stream_flags_t flags =
        (pa_stream_flags_t)(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_record(m_stream, m_sourceName.c_str(), &attr, flags) >= 0) {
        int64_t deadline = OS_NowMs() + PulseConnection::CONNECT_TIMEOUT_MS;
        for (;;) {
            pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY) {
                result = 0;
                break;
            }
            if (!PA_STREAM_IS_GOOD(state) || !m_connection->Pause(deadline))
                break;
        }
    }
    if (result != 0)
        OS_Log::Error("Sound: cannot record from %s: %s\n", m_sourceName.c_str(),
                      m_connection->LastError());
    m_connection->Unlock();
    return result;
}

void PulseCaptureBuffer::Close() {
    if (m_stream) {
        m_connection->Lock();
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_latency_update_callback(m_stream, nullptr, nullptr);
        if (m_timingRequest) {
            pa_operation_cancel(m_timingRequest);
            pa_operation_unref(m_timingRequest);
            m_timingRequest = nullptr;
        }
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
            pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
        m_connection->Unlock();
    }
    delete[] m_ring;
    m_ring = nullptr;
    m_size = 0;
}

int PulseCaptureBuffer::GetFormat(int& channels, int& sampleRate) const {
    if (!m_stream)
        return -1;
    m_connection->Lock();
    const pa_sample_spec* spec = pa_stream_get_sample_spec(m_stream);
    if (spec) {
        channels = spec->channels;
        sampleRate = (int)spec->rate;
    }
    m_connection->Unlock();
    return spec ? 0 : -1;
}

int PulseCaptureBuffer::SetNotificationPositions(int count, const uint32_t* offsets) {
    if (count < 0 || count > MAX_POSITIONS)
        return -1;
    OS_MutexLocker lock(m_ringLock);
    m_segmentCount = 0;
    m_stopIndex = -1;
    for (int i = 0; i < count; ++i) {
        if (offsets[i] == OFFSET_STOP) {
            m_stopIndex = i;
            continue;
        }
        bool ascending = m_segmentCount == 0 || offsets[i] > m_segmentEnd[m_segmentCount - 1];
        if (offsets[i] >= (uint32_t)m_size || !ascending) {
            m_segmentCount = 0;
            return -1;
        }
        m_segmentEnd[m_segmentCount] = offsets[i];
        m_segmentIndex[m_segmentCount] = i;
        m_state[m_segmentCount] = SEGMENT_FREE;
        ++m_segmentCount;
    }
    return 0;
}

int PulseCaptureBuffer::Start() {
    if (!m_stream)
        return -1;
    m_connection->Lock();
    {
        OS_MutexLocker lock(m_ringLock);
        m_running = true;
    }
    int result = m_connection->WaitOperation(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    if (result != 0)
        OS_Log::Error("Sound: cannot start recording from %s: %s\n", m_sourceName.c_str(),
                      m_connection->LastError());
    m_connection->Unlock();
    return result;
}

int PulseCaptureBuffer::Stop() {
    {
        OS_MutexLocker lock(m_ringLock);
        m_running = false;
        Signal(m_stopIndex);
    }
    if (!m_stream)
        return 0;
    // Pause the stream without waiting for the answer: a source that has
    // gone (or a server that hangs) must not hold up the caller.
    m_connection->Lock();
    if (pa_stream_get_state(m_stream) == PA_STREAM_READY) {
        pa_operation* op = pa_stream_cork(m_stream, 1, nullptr, nullptr);
        if (op)
            pa_operation_unref(op);
    }
    m_connection->Unlock();
    return 0;
}

int PulseCaptureBuffer::WaitNotification(unsigned timeoutMs) {
    if (m_signals.TimedWait(timeoutMs) != 0)
        return -1;
    OS_MutexLocker lock(m_ringLock);
    if (m_queueCount == 0)
        return -1;
    int index = m_queue[m_queueHead];
    m_queueHead = (m_queueHead + 1) % MAX_POSITIONS;
    --m_queueCount;
    m_pending[index] = false;
    return index;
}

int PulseCaptureBuffer::Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* size1,
                             void** part2, uint32_t* size2) {
    if (!m_ring || offset >= (uint32_t)m_size || bytes > (uint32_t)m_size)
        return -1;
    uint32_t first = std::min(bytes, (uint32_t)m_size - offset);
    *part1 = m_ring + offset;
    *size1 = first;
    *part2 = first < bytes ? m_ring : nullptr;
    *size2 = bytes - first;
    OS_MutexLocker lock(m_ringLock);
    MarkSpan(offset, bytes, SEGMENT_FULL, SEGMENT_READING);
    return 0;
}

int PulseCaptureBuffer::Unlock(void* part1, uint32_t size1, void* part2, uint32_t size2) {
    uint8_t* start = static_cast<uint8_t*>(part1);
    if (!m_ring || start < m_ring || start >= m_ring + m_size ||
        size1 + size2 > (uint32_t)m_size)
        return -1;
    {
        OS_MutexLocker lock(m_ringLock);
        MarkSpan((uint32_t)(start - m_ring), size1 + size2, SEGMENT_READING, SEGMENT_FREE);
    }
    // data the server sent while the ring was full waits in the stream
    m_connection->Lock();
    Pump();
    m_connection->Unlock();
    return 0;
}

void PulseCaptureBuffer::OnRead(pa_stream*, size_t, void* self) {
    static_cast<PulseCaptureBuffer*>(self)->Pump();
}

void PulseCaptureBuffer::OnTiming(pa_stream*, void* self) {
    static_cast<PulseCaptureBuffer*>(self)->Pump();
}

void PulseCaptureBuffer::OnState(pa_stream* stream, void* self) {
    pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        OS_Log::Warning("Sound: recording from %s has ended: %s\n",
                        static_cast<PulseCaptureBuffer*>(self)->m_sourceName.c_str(),
                        pa_strerror(pa_context_errno(pa_stream_get_context(stream))));
}

void PulseCaptureBuffer::Pump() {
    if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return;
    for (;;) {
        // the stream's current fragment, of which m_fragmentOffset bytes are copied
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0)
            return;

        OS_MutexLocker lock(m_ringLock);
        if (!m_running || m_segmentCount == 0)
            return;
        int k = SegmentOf(m_writePos);
        if (m_state[k] != SEGMENT_FREE)
            return;  // the reader has not taken it yet: the rest waits in the stream

        // a segment begins: date its first byte
        uint32_t previousEnd = m_segmentEnd[k == 0 ? m_segmentCount - 1 : k - 1];
        uint32_t segmentStart = (previousEnd + 1) % (uint32_t)m_size;
        if (m_writePos == segmentStart) {
            double time = StreamTime(m_fragmentOffset);
            if (time <= 0)
                return;  // not before the server's first timing report: it comes with a Pump
            m_segmentTime[k] = time;
            uint32_t segmentBytes = (m_segmentEnd[k] + (uint32_t)m_size - previousEnd - 1) % (uint32_t)m_size + 1;
            m_nextTime = m_segmentTime[k] + (double)segmentBytes / m_bytesPerSecond;
        }

        // copy up to the segment's end (or the ring's end, when segment 0 wraps)
        uint32_t end = m_writePos <= m_segmentEnd[k] ? m_segmentEnd[k] + 1 : (uint32_t)m_size;
        size_t count = std::min(bytes - m_fragmentOffset, (size_t)(end - m_writePos));
        if (data)
            memcpy(m_ring + m_writePos, static_cast<const uint8_t*>(data) + m_fragmentOffset, count);
        else
            memset(m_ring + m_writePos, 0, count);  // a hole: silence keeps the sample count
        m_writePos += (uint32_t)count;
        m_fragmentOffset += count;

        if (m_writePos == m_segmentEnd[k] + 1) {
            m_state[k] = SEGMENT_FULL;
            Signal(m_segmentIndex[k]);
        }
        if (m_writePos >= (uint32_t)m_size)
            m_writePos = 0;
        if (m_fragmentOffset == bytes) {
            pa_stream_drop(m_stream);
            m_fragmentOffset = 0;
        }
    }
}

double PulseCaptureBuffer::StreamTime(size_t offset) {
    const pa_timing_info* info = pa_stream_get_timing_info(m_stream);
    if (info && !info->read_index_corrupt && !info->write_index_corrupt) {
        int64_t byte = info->read_index + (int64_t)offset;
        if (info->write_index > byte) {
            // The report knows this byte: when it was taken, the byte was
            // as old as the bytes written after it, plus what still sat in
            // the device. A sink's monitor hands sound over before the sink
            // plays it (sink_usec, 0 for other sources): it is heard, and
            // belongs on the time line, that much later.
            double reportTime = OS_NowMs() / 1000.0 - (double)pa_timeval_age(&info->timestamp) / 1e6;
            return reportTime - (double)info->source_usec / 1e6 + (double)info->sink_usec / 1e6 -
                   (double)(info->write_index - byte) / m_bytesPerSecond;
        }
    }
    // The last report predates this byte: ask for a new one, which pumps
    // again when it comes. A server that stops reporting: go on from the
    // last block.
    if (m_timingRequest && pa_operation_get_state(m_timingRequest) != PA_OPERATION_RUNNING) {
        pa_operation_unref(m_timingRequest);
        m_timingRequest = nullptr;
    }
    if (!m_timingRequest) {
        m_timingRequest = pa_stream_update_timing_info(m_stream, nullptr, nullptr);
        m_timingAskedMs = OS_NowMs();
    }
    if (OS_NowMs() - m_timingAskedMs > TIMING_WAIT_MS)
        return m_nextTime;
    return 0;
}

double PulseCaptureBuffer::CaptureTime(int index) {
    OS_MutexLocker lock(m_ringLock);
    for (int k = 0; k < m_segmentCount; ++k) {
        if (m_segmentIndex[k] == index)
            return m_segmentTime[k];
    }
    return 0;
}

void PulseCaptureBuffer::Signal(int index) {
    if (index < 0 || m_pending[index])
        return;
    m_pending[index] = true;
    m_queue[(m_queueHead + m_queueCount) % MAX_POSITIONS] = index;
    ++m_queueCount;
    m_signals.Post();
}

int PulseCaptureBuffer::SegmentOf(uint32_t offset) const {
    for (int k = 0; k < m_segmentCount; ++k) {
        if (offset <= m_segmentEnd[k])
            return k;
    }
    return 0;  // past the last position: the ring wraps into segment 0
}

void PulseCaptureBuffer::MarkSpan(uint32_t offset, uint32_t bytes, SegmentState from,
                                  SegmentState to) {
    if (m_segmentCount == 0)
        return;
    uint32_t pos = offset;
    uint32_t remaining = bytes;
    while (remaining > 0) {
        int k = SegmentOf(pos);
        if (m_state[k] == from)
            m_state[k] = to;
        uint32_t end = pos <= m_segmentEnd[k] ? m_segmentEnd[k] + 1 : (uint32_t)m_size;
        uint32_t step = std::min(remaining, end - pos);
        remaining -= step;
        pos = (pos + step) % (uint32_t)m_size;
    }
}
