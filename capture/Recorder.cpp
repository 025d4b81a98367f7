#include "capture/Recorder.h"

#include <string>
#include <vector>

#include "os/OS_Clock.h"
#include "os/OS_Log.h"

namespace {

// Largest block Open accepts, so that block sizes stay far from int overflow.
constexpr int64_t MAX_BLOCK_BYTES = 16 * 1024 * 1024;

}  // namespace

Recorder::Recorder(RecorderCallback* callback)
    : m_channels(0), m_sampleRate(0), m_bitsPerSample(0), m_bytesPerFrame(0), m_framesPerBlock(0),
      m_blockBytes(0), m_source(nullptr), m_quit(false), m_capturing(false), m_time(0.0),
      m_blockDuration(0.0), m_callback(callback), m_tag(0), m_device() {}

Recorder::~Recorder() { Close(); }

// Steps:
//  1. store the tag and the block format
//  2. the device id: parsed from its text, or the default capture device
//  3. connect, and find the device's source
//  4. log its caps
//  5. open a stream on it, cut into blocks of the format
//  6. log the fragment size and the format the server really delivers
//  7. start the capture thread, which delivers from StartCapture on
int Recorder::Open(const char* guidText, int tag, int channels, int sampleRate, int framesPerBlock) {
    if (m_source)
        return -1;  // opened once only
    m_tag = tag;
    m_bitsPerSample = 16;
    m_channels = channels;
    m_bytesPerFrame = channels * 2;
    m_sampleRate = sampleRate;
    m_framesPerBlock = framesPerBlock;
    m_blockBytes = framesPerBlock * m_bytesPerFrame;
    if (channels <= 0 || sampleRate <= 0 || framesPerBlock <= 0 ||
        (int64_t)framesPerBlock * channels * 2 > MAX_BLOCK_BYTES)
        return -1;

    // a text shorter than an id names no device
    bool validText = true;
    if (guidText && *guidText)
        validText = GuidFromString(guidText, m_device) == 0;
    else
        m_device = DEFAULT_CAPTURE_GUID;

    m_source = new PulseSource;
    PulseSourceInfo source;
    if (!validText || m_source->Connect() != 0 || FindSource(source) != 0) {
        OS_Log::Error("Sound Capture: DirectSoundCaptureCreate failed  \n");
        Close();
        return -1;
    }
    OS_Log::Info("sound capture caps: format=%08X, channel=%d \n", source.formatMask, source.channels);

    if (m_source->OpenStream(source.name, m_channels, m_sampleRate, m_framesPerBlock, this) != 0) {
        OS_Log::Error("sound capture: failed to get buffer8 interface \n");
        Close();
        return -1;
    }
    int realChannels = 0;
    int realRate = 0;
    int fragmentBytes = 0;
    if (m_source->GetFormat(realChannels, realRate, fragmentBytes) != 0) {
        Close();
        return -1;
    }
    OS_Log::Info("buffer created: size %d \n", fragmentBytes);
    OS_Log::Info("audio format: channel=%d, sample_rate=%d \n", realChannels, realRate);

    m_quit = false;
    if (Start() != 0) {
        OS_Log::Error("Sound: cannot start the capture thread\n");
        Close();
        return -1;
    }
    return 0;
}

int Recorder::FindSource(PulseSourceInfo& source) {
    if (m_device == DEFAULT_CAPTURE_GUID)
        return m_source->FindSource(nullptr, source);
    // An id stands for a source name: known from an earlier list, or found
    // by listing the sources once on this connection.
    std::string name;
    if (FindSourceName(m_device, name) != 0) {
        std::vector<PulseSourceInfo> sources;
        if (m_source->ListSources(sources) != 0)
            return -1;
        for (const PulseSourceInfo& listed : sources)
            RememberSourceName(listed.name);
        if (FindSourceName(m_device, name) != 0) {
            std::string text;
            GuidToString(m_device, text);
            OS_Log::Error("Sound: no source has the id %s\n", text.c_str());
            return -1;
        }
    }
    return m_source->FindSource(name.c_str(), source);
}

int Recorder::StartCapture() {
    m_time = 0.0;  // no block yet
    m_blockDuration = m_sampleRate > 0 ? (double)m_framesPerBlock / (double)m_sampleRate : 0.0;
    if (!m_source || m_quit) {
        OS_Log::Error("sound capture: Failed to start \n");
        return -1;
    }
    m_capturing = true;
    m_source->SetDelivering(true);
    return 0;
}

int Recorder::StopCapture() { return 0; }

void Recorder::Close() {
    m_quit = true;
    if (m_source)
        m_source->Stop();  // wakes the capture thread
    Join();
    if (m_source) {
        m_source->Close();
        delete m_source;
        m_source = nullptr;
    }
}

int Recorder::Run() {
    // Read, cut and deliver (OnSoundBlock) until Close. A connection that
    // failed (the server went away) leaves only the wait for Close.
    while (!m_quit) {
        if (m_source->Run((int)WAIT_MS) != 0)
            OS_Sleep(WAIT_MS);
    }
    return 0;
}

void Recorder::OnSoundBlock(double time, const uint8_t* data, int bytes) {
    if (m_quit || !m_capturing)
        return;
    m_time = time;
    if (m_callback)
        m_callback->OnAudioData(m_tag, m_time, data, bytes);
}
