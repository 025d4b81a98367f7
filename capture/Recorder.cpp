#include "capture/Recorder.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "os/OS_Log.h"
#include "platform/pulse/PulseCaptureBuffer.h"
#include "platform/pulse/PulseCaptureDevice.h"
#include "platform/pulse/PulseSourceInfo.h"

namespace {

// Largest ring Open accepts, so that block sizes stay far from int overflow.
constexpr int64_t MAX_RING_BYTES = 64 * 1024 * 1024;

}  // namespace

Recorder::Recorder(RecorderCallback* callback)
    : m_channels(0), m_sampleRate(0), m_bitsPerSample(0), m_bytesPerFrame(0), m_framesPerBlock(0),
      m_blockBytes(0), m_capture(nullptr), m_buffer(nullptr), m_quit(false), m_time(0.0),
      m_blockDuration(0.0), m_callback(callback), m_positions(), m_tag(0), m_device() {}

Recorder::~Recorder() { Close(); }

// Steps:
//  1. store the tag
//  2. the device id: parsed from its text, or the default capture device
//  3. open the device (its source on the sound server)
//  4. read and log its caps
//  5. set the block format
//  6. create the ring of three blocks in that format
//  7. connect the ring's stream to the source, paused
//  8. log the ring's size and the format the server really delivers
//  9. register the notification positions: end of each block, and stop
// 10. start the capture thread, which waits for StartCapture's blocks
int Recorder::Open(const char* guidText, int tag, int channels, int sampleRate,
                   int framesPerBlock) {
    if (m_capture)
        return -1;  // opened once only: a second Open would orphan the first device
    m_tag = tag;

    // a text shorter than an id names no device
    bool validText = true;
    if (guidText && *guidText)
        validText = GuidFromString(guidText, m_device) == 0;
    else
        m_device = DEFAULT_CAPTURE_GUID;

    if (!validText || OpenDevice() != 0) {
        OS_Log::Error("Sound Capture: DirectSoundCaptureCreate failed  \n");
        Close();
        return -1;
    }

    uint32_t formats = 0;
    int capsChannels = 0;
    if (m_capture->GetCaps(formats, capsChannels) != 0) {
        OS_Log::Error("failed to get caps of sound capture \n");
        Close();
        return -1;
    }
    OS_Log::Info("sound capture caps: format=%08X, channel=%d \n", formats, capsChannels);

    m_bitsPerSample = 16;
    m_channels = channels;
    m_bytesPerFrame = channels * 2;
    m_sampleRate = sampleRate;
    m_framesPerBlock = framesPerBlock;
    m_blockBytes = framesPerBlock * m_bytesPerFrame;
    if (channels <= 0 || sampleRate <= 0 || framesPerBlock <= 0 ||
        (int64_t)RING_BLOCKS * framesPerBlock * channels * 2 > MAX_RING_BYTES) {
        Close();
        return -1;
    }

    m_buffer = m_capture->CreateBuffer(RING_BLOCKS * m_blockBytes, m_channels, m_sampleRate,
                                       m_bitsPerSample);
    if (!m_buffer) {
        Close();
        return -1;
    }

    if (m_buffer->Connect(m_blockBytes) != 0) {
        OS_Log::Error("sound capture: failed to get buffer8 interface \n");
        Close();
        return -1;
    }
    OS_Log::Info("buffer created: size %d \n", m_buffer->GetSize());

    int realChannels = 0;
    int realRate = 0;
    if (m_buffer->GetFormat(realChannels, realRate) != 0) {
        Close();
        return -1;
    }
    OS_Log::Info("audio format: channel=%d, sample_rate=%d \n", realChannels, realRate);

    for (int i = 0; i < RING_BLOCKS; ++i)
        m_positions[i] = (uint32_t)((i + 1) * m_blockBytes - 1);
    m_positions[RING_BLOCKS] = PulseCaptureBuffer::OFFSET_STOP;
    m_buffer->SetNotificationPositions(NOTIFY_COUNT, m_positions);

    m_quit = false;
    if (Start() != 0) {
        OS_Log::Error("Sound: cannot start the capture thread\n");
        Close();
        return -1;
    }
    return 0;
}

int Recorder::OpenDevice() {
    m_capture = new PulseCaptureDevice;
    if (m_device == DEFAULT_CAPTURE_GUID)
        return m_capture->Open(nullptr);

    // an id names a source through its name: find the source whose name
    // gives this id
    std::vector<PulseSourceInfo> sources;
    if (PulseEnumerateSources(sources) != 0)
        return -1;
    for (const PulseSourceInfo& source : sources) {
        GUID guid;
        GuidFromSourceName(source.name, guid);
        if (guid == m_device)
            return m_capture->Open(source.name.c_str());
    }
    std::string text;
    GuidToString(m_device, text);
    OS_Log::Error("Sound: no source has the id %s\n", text.c_str());
    return -1;
}

int Recorder::StartCapture() {
    m_time = 0.0;  // no block yet
    m_blockDuration = m_sampleRate > 0 ? (double)m_framesPerBlock / (double)m_sampleRate : 0.0;
    if (!m_buffer || m_buffer->Start() != 0) {
        OS_Log::Error("sound capture: Failed to start \n");
        return -1;
    }
    return 0;
}

int Recorder::StopCapture() { return 0; }

void Recorder::Close() {
    m_quit = true;
    // stopping signals the stop position, which wakes the capture thread
    if (m_buffer)
        m_buffer->Stop();
    Join();
    if (m_buffer) {
        m_buffer->Close();
        delete m_buffer;
        m_buffer = nullptr;
    }
    if (m_capture) {
        m_capture->Close();
        delete m_capture;
        m_capture = nullptr;
    }
}

int Recorder::Run() {
    // one block copy for the whole run: nothing is allocated per block
    uint8_t* block = new uint8_t[m_blockBytes];
    while (!m_quit) {
        // wait for a filled block or the stop notification
        int index = m_buffer->WaitNotification(WAIT_MS);
        if (index < 0 || index >= NOTIFY_COUNT)
            continue;
        if (index == RING_BLOCKS)
            continue;  // stopped: nothing to deliver

        // hold the block while it is copied and delivered
        void* part1 = nullptr;
        void* part2 = nullptr;
        uint32_t size1 = 0;
        uint32_t size2 = 0;
        if (m_buffer->Lock((uint32_t)(index * m_blockBytes), (uint32_t)m_blockBytes, &part1, &size1,
                           &part2, &size2) != 0) {
            OS_Log::Error("sound: failed to lock buffer \n");
            continue;
        }
        m_time = m_buffer->CaptureTime(index);
        // a block never wraps the ring: the second part is empty
        memcpy(block, part1, std::min(size1, (uint32_t)m_blockBytes));

        // deliver
        if (m_callback)
            m_callback->OnAudioData(m_tag, m_time, block, m_blockBytes);
        m_buffer->Unlock(part1, size1, part2, size2);
    }
    delete[] block;
    return 0;
}
