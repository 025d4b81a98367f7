#include "capture/RecordingSession.h"

#include <cmath>

#include "capture/Recorder.h"
#include "capture/ScreenCapTask.h"
#include "capture/WinCapTask.h"
#include "media/AvPacker.h"
#include "media/MMPacket.h"
#include "media/MemPool.h"
#include "os/OS_Log.h"
#include "os/OS_MutexLocker.h"

RecordingSession::RecordingSession()
    : m_screenTask(nullptr), m_windowTask(nullptr), m_sourceWidth(0), m_sourceHeight(0),
      m_sourceBitsPerPixel(0), m_packer(nullptr), m_lastFrameNumber(-1), m_micRecorder(nullptr),
      m_mixRecorder(nullptr), m_mixing(false), m_mixBuffer(), m_recording(false),
      m_picturesInFlight(0) {
    m_mixLock.Init();
    m_mixer.Init(RecordingFormat::FRAMES_PER_BLOCK);
}

RecordingSession::~RecordingSession() {
    SetRecording(false);
    StopSound();
    StopCapture();
    ClosePacker();
}

int RecordingSession::OpenScreen(int x, int y, int width, int height, ScreenCapListener* listener) {
    StopCapture();
    m_screenTask = new ScreenCapTask();
    m_screenTask->SetFrameClock(&m_clock);  // one grab per period of the numbering
    m_screenTask->SetListener(listener ? listener : this);
    if (m_screenTask->Open(x, y, width, height) < 0) {
        StopCapture();
        return -1;
    }
    m_sourceWidth = m_screenTask->width();
    m_sourceHeight = m_screenTask->height();
    m_sourceBitsPerPixel = m_screenTask->bitsPerPixel();
    return 0;
}

int RecordingSession::OpenWindow(WindowId window, ScreenCapListener* listener) {
    StopCapture();
    m_windowTask = new WinCapTask();
    m_windowTask->SetFrameClock(&m_clock);
    m_windowTask->SetListener(listener ? listener : this);
    if (m_windowTask->Open(window) < 0) {
        StopCapture();
        return -1;
    }
    m_sourceBitsPerPixel = m_windowTask->bitsPerPixel();
    m_sourceWidth = m_windowTask->rowBytes() / (m_sourceBitsPerPixel / 8);
    m_sourceHeight = m_windowTask->height();
    return 0;
}

int RecordingSession::StartCapture() {
    int rc = -1;
    if (m_screenTask)
        rc = m_screenTask->Start();
    else if (m_windowTask)
        rc = m_windowTask->Start();
    if (rc < 0)
        OS_Log::Error("capture: failed to start the capture thread!\n");
    return rc;
}

void RecordingSession::StopCapture() {
    if (m_screenTask) {
        m_screenTask->Stop();
        delete m_screenTask;
        m_screenTask = nullptr;
    }
    if (m_windowTask) {
        m_windowTask->Stop();
        delete m_windowTask;
        m_windowTask = nullptr;
    }
    m_sourceWidth = m_sourceHeight = m_sourceBitsPerPixel = 0;
}

int RecordingSession::OpenPacker(const std::string& fileName, int width, int height, int bitsPerPixel,
                                 uint32_t fourcc) {
    ClosePacker();
    m_packer = new AvPacker();
    if (m_packer->Open(fileName.c_str(), width, height, bitsPerPixel, fourcc, width, height,
                       RecordingFormat::FRAMES_PER_SECOND) < 0) {
        delete m_packer;
        m_packer = nullptr;
        return -1;
    }
    return 0;
}

void RecordingSession::ClosePacker() {
    if (!m_packer)
        return;
    m_packer->Close();
    delete m_packer;
    m_packer = nullptr;
}

void RecordingSession::BeginClosePacker() {
    if (m_packer)
        m_packer->BeginClose();
}

bool RecordingSession::PackerFinished() const { return !m_packer || m_packer->IsFinished(); }

void RecordingSession::StartClock() {
    m_lastFrameNumber = -1;
    m_clock.Start(0);
}

int64_t RecordingSession::FrameNumber(int64_t elapsedMs) {
    return (int64_t)(elapsedMs / RecordingFormat::FRAME_PERIOD_MS + 0.5);
}

int RecordingSession::StartSound(const std::string& guid, int tag, RecorderCallback* callback) {
    bool second = m_micRecorder != nullptr;
    Recorder* recorder = new Recorder(callback ? callback : this);
    if (recorder->Open(guid.c_str(), tag, RecordingFormat::CHANNELS, RecordingFormat::SAMPLE_RATE,
                       RecordingFormat::FRAMES_PER_BLOCK) != 0) {
        OS_Log::Error("failed to open microphone device! \n");
        delete recorder;
        return -1;
    }
    if (second) {
        // Both tracks go through the mixer from now on; blocks of the
        // microphone so far went straight to the packer.
        m_mixRecorder = recorder;
        OS_Log::Info("Start stereo capture . \n");
        {
            OS_MutexLocker guard(m_mixLock);
            m_mixer.Clear();
        }
        m_mixing = true;
    } else {
        m_micRecorder = recorder;
        OS_Log::Info("Start microphone capture . \n");
    }
    if (recorder->StartCapture() != 0) {
        // The recorder logged why; nothing of it may keep running.
        recorder->Close();
        delete recorder;
        (second ? m_mixRecorder : m_micRecorder) = nullptr;
        m_mixing = false;
        return -1;
    }
    return 0;
}

namespace {

// Stops, joins and deletes a recorder, then logs line.
void StopRecorder(Recorder*& recorder, const char* line) {
    if (!recorder)
        return;
    recorder->StopCapture();
    recorder->Close();
    delete recorder;
    recorder = nullptr;
    OS_Log::Info("%s", line);
}

}  // namespace

void RecordingSession::StopSound() {
    StopRecorder(m_mixRecorder, "==> stop stereo capture .\n");
    StopRecorder(m_micRecorder, "==> stop microphone capture .\n");
    m_mixing = false;
    OS_MutexLocker guard(m_mixLock);
    m_mixer.Clear();
}

void RecordingSession::SetRecording(bool recording) {
    m_recording = recording;
    if (recording)
        return;
    // A camera picture that saw the flag set is still on its way to the
    // packer: the packer must not close under it.
    while (m_picturesInFlight > 0)
        OS_Sleep(1);
}

bool RecordingSession::StampPicture(MMPacket* packet, int64_t elapsedMs) {
    packet->type = MMPacket::TYPE_VIDEO;
    packet->timestamp = FrameNumber(elapsedMs);
    // The packer writes one picture a period; a second one of the same
    // period would only take a waiting place from the next period's.
    if (packet->timestamp == m_lastFrameNumber)
        return false;
    m_lastFrameNumber = packet->timestamp;
    return true;
}

int RecordingSession::OnScreenFrame(MMPacket* packet) {
    // numbered by when its grab began (the capture reads m_clock too): a
    // grab that came back late still fills its period
    if (!m_packer || !StampPicture(packet, packet->timestamp)) {
        packet->Release();
        return 0;
    }
    m_packer->Push(packet);
    return 0;
}

int RecordingSession::OnCameraPicture(const void* data, int size) {
    ++m_picturesInFlight;
    if (m_recording && m_packer) {
        MMPacket packet;
        if (StampPicture(&packet, m_clock.Elapsed())) {
            // A pool block when the picture fits one: no heap traffic per
            // picture. No free block means the packer is far behind: the
            // packet stays empty and the picture is dropped.
            MemPool& pool = MemPool::Frames();
            if ((unsigned)size <= pool.BlockSize())
                packet.allocator = &pool;
            packet.Fill(data, size, packet.timestamp);
            packet.type = MMPacket::TYPE_VIDEO;
            if (!packet.IsEmpty())
                m_packer->Push(&packet);
        }
    }
    --m_picturesInFlight;
    return 0;
}

int RecordingSession::OnAudioData(int tag, double time, const void* data, int size) {
    if (!m_packer)
        return 0;
    // The recording clock's reading when the block's first sample was
    // captured.
    int64_t timestamp = m_clock.ElapsedAt((int64_t)std::llround(time * 1000.0));
    MMPacket packet;
    packet.Fill(data, size, timestamp);
    packet.type = MMPacket::TYPE_AUDIO;
    if (!m_mixing) {
        m_packer->Push(&packet);
        return 0;
    }
    OS_MutexLocker guard(m_mixLock);
    m_mixer.Enable(tag);
    int64_t mixedTimestamp = 0;
    if (m_mixer.Mix(tag, packet, m_mixBuffer, &mixedTimestamp) > 0) {
        MMPacket mixed;
        mixed.Fill(m_mixBuffer, RecordingFormat::BLOCK_BYTES, mixedTimestamp);
        mixed.type = MMPacket::TYPE_AUDIO;
        m_packer->Push(&mixed);
    }
    return 0;
}
