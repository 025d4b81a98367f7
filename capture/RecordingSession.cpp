#include "capture/RecordingSession.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavutil/error.h>
}

#include "capture/PictureOps.h"
#include "capture/Recorder.h"
#include "capture/ScreenCapTask.h"
#include "capture/WinCapTask.h"
#include "media/AvPacker.h"
#include "media/MMPacket.h"
#include "media/MemPool.h"
#include "media/PacketSink.h"
#include "os/OS_Log.h"
#include "os/OS_MutexLocker.h"

RecordingSession::RecordingSession()
    : m_listener(nullptr), m_initialised(false), m_quit(false), m_screenTask(nullptr), m_windowTask(nullptr),
      m_portalTask(nullptr), m_captureEnded(false), m_sourceWidth(0), m_sourceHeight(0), m_sourceBitsPerPixel(0),
      m_packer(nullptr), m_packerWidth(0), m_packerHeight(0), m_prepareNext(), m_freeing(false),
      m_active(false), m_codec(RecordingFormat::CODEC_MPEG4), m_fps(RecordingFormat::FRAMES_PER_SECOND),
      m_sampleRate(RecordingFormat::SAMPLE_RATE), m_lastFrame(-1), m_nextDiskCheckMs(0), m_silenceTold(false),
      m_soundPeak(0), m_micRecorder(nullptr), m_mixRecorder(nullptr), m_mixing(false),
      m_cameraWidth(0), m_cameraHeight(0), m_cameraBitsPerPixel(0), m_preview(nullptr), m_reverse(false),
      m_recording(false), m_cameraWatched(false), m_lastCameraMs(0), m_picturesInFlight(0) {}

RecordingSession::~RecordingSession() { Free(); }

int RecordingSession::Init() {
    if (m_initialised)
        return 0;
    if (m_requestLock.Init() != 0)
        return -1;
    m_mixer.Init(RecordingFormat::FRAMES_PER_BLOCK);
    m_quit = false;
    m_freeing = false;
    if (Start() != 0) {
        OS_Log::Error("recording: failed to start the worker thread!\n");
        return -1;
    }
    m_initialised = true;
    ListSoundDevices();
    return 0;
}

void RecordingSession::Free() {
    m_freeing = true;
    if (m_initialised) {
        Stop();
        // the worker takes the stop before it looks at its quit flag
        while (Active())
            OS_Sleep(PASS_SLEEP_MS);
        m_quit = true;
        Join();
        m_initialised = false;
    }
    Finish();  // only releases what a session without worker opened
}

void RecordingSession::Post(const Request& request) {
    OS_MutexLocker guard(m_requestLock);
    m_requests.push_back(request);
}

void RecordingSession::ListSoundDevices() { Post({REQUEST_LIST, 0, std::string(), 0, 0, 0, 0, 0}); }

void RecordingSession::StartSound(int choice, const std::string& guid) {
    Post({REQUEST_SOUND, choice, guid, 0, 0, 0, 0, 0});
}

void RecordingSession::Stop() {
    m_recording = false;
    Post({REQUEST_STOP, 0, std::string(), 0, 0, 0, 0, 0});
}

int RecordingSession::Run() {
    while (!m_quit) {
        OS_Sleep(PASS_SLEEP_MS);

        // the oldest request
        Request request = {-1, 0, std::string(), 0, 0, 0, 0, 0};
        {
            OS_MutexLocker guard(m_requestLock);
            if (!m_requests.empty()) {
                request = m_requests.front();
                m_requests.pop_front();
            }
        }

        // carry it out, with what the sound server says
        if (request.type == REQUEST_LIST) {
            std::vector<AudioInputDevice> devices;
            EnumerateSoundCaptureDevices(devices);
            if (m_listener)
                m_listener->OnSoundDevices(devices);
        } else if (request.type == REQUEST_SOUND) {
            int result = OpenSound(request.choice, request.guid);
            if (m_listener)
                m_listener->OnSoundStarted(result);
        } else if (request.type == REQUEST_PORTAL) {
            int result = OpenPortalStream(request);
            close(request.choice);
            if (m_listener)
                m_listener->OnCaptureOpened(result);
        } else if (request.type == REQUEST_STOP) {
            int failure = Finish();
            if (failure != 0 && m_listener)
                m_listener->OnRecordingFailed(RecordingListener::CAUSE_WRITE, failure);
            if (m_listener)
                m_listener->OnFinished();
            // the next recording of the same picture finds its encoder made
            if (m_prepareNext.width > 0 && !m_freeing)
                AvPacker::Prepare(m_prepareNext.codec, m_prepareNext.width, m_prepareNext.height, m_prepareNext.fps);
            m_prepareNext.width = 0;
        }

        // a failed file or a silent camera ends the recording
        Watch();
    }
    return 0;
}

void RecordingSession::Watch() {
    bool cameraLost = m_cameraWatched && OS_NowMs() - m_lastCameraMs > CAMERA_SILENCE_MS;
    bool captureEnded = m_captureEnded;
    if (cameraLost) {
        m_cameraWatched = false;
        OS_Log::Error("recording: the camera has delivered no picture for %lld ms: it is gone\n",
                      (long long)CAMERA_SILENCE_MS);
        if (m_listener)
            m_listener->OnCameraLost();
    }
    // only a recording that has fully started: a start under way is the
    // UI thread's, and its stop reports what failed
    if (!m_recording)
        return;
    AvPacker* packer = m_packer;
    int failure = packer ? packer->Failure() : 0;
    // sound chosen and its first seconds silent: told, and it goes on
    if (!m_silenceTold && m_micRecorder && m_clock.ElapsedUs() >= SOUND_SILENCE_MS * 1000) {
        m_silenceTold = true;
        if (m_soundPeak <= SOUND_SILENCE_LEVEL) {
            OS_Log::Warning("recording: the sound of the first %lld s is silence\n",
                            (long long)SOUND_SILENCE_MS / 1000);
            if (m_listener)
                m_listener->OnSoundSilent();
        }
    }
    bool diskLow = failure == 0 && !cameraLost && !captureEnded && DiskLow();
    if (failure == 0 && !cameraLost && !captureEnded && !diskLow)
        return;
    OS_Log::Error("recording: stopped because %s\n", failure != 0  ? "the file could not be written"
                                                      : cameraLost   ? "the camera is gone"
                                                      : captureEnded ? "the desktop stopped sharing the screen"
                                                                     : "its disk is nearly full");
    failure = Finish();
    // a stop the window asked for meanwhile is done: it must not reach the
    // next recording
    {
        OS_MutexLocker guard(m_requestLock);
        m_requests.erase(std::remove_if(m_requests.begin(), m_requests.end(),
                                        [](const Request& r) { return r.type == REQUEST_STOP; }),
                         m_requests.end());
    }
    if (m_listener) {
        if (diskLow && failure == 0)
            m_listener->OnRecordingFailed(RecordingListener::CAUSE_DISK_LOW, ENOSPC);
        else if (failure != 0)
            m_listener->OnRecordingFailed(RecordingListener::CAUSE_WRITE, failure);
        else if (cameraLost)
            m_listener->OnRecordingFailed(RecordingListener::CAUSE_CAMERA, 0);
        else
            m_listener->OnRecordingFailed(RecordingListener::CAUSE_CAPTURE, 0);
        m_listener->OnFinished();
    }
}

bool RecordingSession::DiskLow() {
    int64_t now = OS_NowMs();
    if (m_fileName.empty() || now < m_nextDiskCheckMs)
        return false;
    m_nextDiskCheckMs = now + DISK_CHECK_MS;
    std::string folder = m_fileName.substr(0, m_fileName.rfind('/') + 1);
    struct statvfs disk;
    struct stat file;
    if (statvfs(folder.empty() ? "." : folder.c_str(), &disk) != 0 || stat(m_fileName.c_str(), &file) != 0)
        return false;
    int64_t seconds = std::max<int64_t>(m_clock.ElapsedUs() / 1000000, 1);
    int64_t minute = std::max<int64_t>(file.st_size / seconds * 60, DISK_LOW_BYTES);
    return (int64_t)disk.f_bavail * (int64_t)disk.f_frsize < minute;
}

int RecordingSession::OpenScreen(int x, int y, int width, int height) {
    m_active = true;
    m_screenTask = new ScreenCapTask();
    m_screenTask->SetFrameClock(&m_clock);  // one grab per frame period
    m_screenTask->SetListener(this);
    if (m_screenTask->Open(x, y, width, height) < 0) {
        m_screenTask->Stop();
        delete m_screenTask;
        m_screenTask = nullptr;
        return -1;
    }
    m_sourceWidth = m_screenTask->width();
    m_sourceHeight = m_screenTask->height();
    m_sourceBitsPerPixel = m_screenTask->bitsPerPixel();
    return 0;
}

int RecordingSession::OpenWindow(WindowId window) {
    m_active = true;
    m_windowTask = new WinCapTask();
    m_windowTask->SetFrameClock(&m_clock);
    m_windowTask->SetListener(this);
    if (m_windowTask->Open(window) < 0) {
        m_windowTask->Stop();
        delete m_windowTask;
        m_windowTask = nullptr;
        return -1;
    }
    m_sourceBitsPerPixel = m_windowTask->bitsPerPixel();
    m_sourceWidth = m_sourceBitsPerPixel >= 8 ? m_windowTask->rowBytes() / (m_sourceBitsPerPixel / 8) : 0;
    m_sourceHeight = m_windowTask->height();
    return 0;
}

int RecordingSession::OpenPortal(int pipeWireFd, uint32_t node, int x, int y, int width, int height) {
    // the caller may close its descriptor before the worker gets to it
    int fd = fcntl(pipeWireFd, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) {
        OS_Log::Error("[RecordingSession::OpenPortal] Error: cannot copy the PipeWire descriptor.\n");
        return -1;
    }
    m_active = true;
    m_captureEnded = false;
    Post({REQUEST_PORTAL, fd, std::string(), node, x, y, width, height});
    return 0;
}

int RecordingSession::OpenPortalStream(const Request& r) {
    PortalCapTask* task = new PortalCapTask();
    task->SetFrameClock(&m_clock);
    task->SetListener(this);
    task->SetEndListener(this);
    // the last recording's rate: most often this one's, and then the
    // producer needs no second negotiation when it is set
    task->SetFrameRate(m_fps);
    if (task->Open(r.choice, r.node, r.x, r.y, r.width, r.height) < 0) {
        task->Stop();
        delete task;
        return -1;
    }
    m_sourceWidth = task->width();
    m_sourceHeight = task->height();
    m_sourceBitsPerPixel = task->bitsPerPixel();
    m_portalTask = task;
    return 0;
}

int RecordingSession::StartCapture() {
    // the rate is known once the packer is open: the windows set the format
    // as they name the file
    int rc = -1;
    if (m_portalTask) {
        m_portalTask->SetFrameRate(m_fps);
        rc = m_portalTask->Start();
    } else if (m_screenTask) {
        m_screenTask->SetFrameRate(m_fps);
        rc = m_screenTask->Start();
    } else if (m_windowTask) {
        m_windowTask->SetFrameRate(m_fps);
        rc = m_windowTask->Start();
    }
    if (rc < 0)
        OS_Log::Error("capture: failed to start the capture thread!\n");
    return rc;
}

void RecordingSession::SetCamera(int width, int height, int bitsPerPixel) {
    m_cameraWidth = width;
    m_cameraHeight = height;
    m_cameraBitsPerPixel = bitsPerPixel;
    m_lastCameraMs = OS_NowMs();
    m_cameraWatched = width > 0;
}

void RecordingSession::SetFormat(int codec, int fps, int sampleRate) {
    m_codec = codec;
    m_fps = fps;
    m_sampleRate = sampleRate;
    m_mixer.SetSampleRate(sampleRate);
}

int RecordingSession::OpenPacker(const std::string& fileName, int width, int height, int bitsPerPixel,
                                 uint32_t fourcc) {
    m_active = true;
    AvPacker* packer = new AvPacker();
    packer->SetEncoding(m_codec, m_sampleRate);
    if (packer->Open(fileName.c_str(), width, height, bitsPerPixel, fourcc, width, height, m_fps) < 0) {
        delete packer;
        return -1;
    }
    m_packer = packer;
    m_packerWidth = width;
    m_packerHeight = height;
    m_fileName = fileName;
    m_nextDiskCheckMs = OS_NowMs() + DISK_CHECK_MS;
    return 0;
}

void RecordingSession::StartClock() {
    m_active = true;
    m_lastFrame = -1;
    m_silenceTold = false;
    m_soundPeak = 0;
    m_clock.Start(0);
}

int RecordingSession::OpenRecorder(Recorder*& recorder, const std::string& guid, int tag) {
    recorder = new Recorder(this);
    if (recorder->Open(guid.c_str(), tag, RecordingFormat::CHANNELS, m_sampleRate,
                       RecordingFormat::FRAMES_PER_BLOCK) != 0) {
        OS_Log::Error("failed to open microphone device! \n");
        delete recorder;
        recorder = nullptr;
        return -1;
    }
    return 0;
}

int RecordingSession::OpenSound(int choice, const std::string& guid) {
    if (choice == SOUND_NONE)
        return RecordingListener::SOUND_STARTED;
    std::string micGuid = guid, mixGuid;
    if (choice == SOUND_MICROPHONE_AND_MIX) {
        std::vector<AudioInputDevice> devices;
        EnumerateSoundCaptureDevices(devices);
        FindMixAndMicDevices(devices, mixGuid, micGuid);
        // the recording goes on with pictures only
        if (mixGuid.empty())
            return RecordingListener::SOUND_NO_MIX;
    }
    int tag = choice == SOUND_MICROPHONE_AND_MIX ? TAG_MICROPHONE : TAG_SINGLE;
    if (OpenRecorder(m_micRecorder, micGuid, tag) < 0)
        return RecordingListener::SOUND_FAILED;
    OS_Log::Info("Start microphone capture . \n");
    if (m_micRecorder->StartCapture() != 0) {
        StopSound();
        return RecordingListener::SOUND_FAILED;
    }
    if (choice != SOUND_MICROPHONE_AND_MIX)
        return RecordingListener::SOUND_STARTED;
    if (OpenRecorder(m_mixRecorder, mixGuid, TAG_MIX) < 0) {
        StopSound();
        return RecordingListener::SOUND_FAILED;
    }
    // Both tracks go through the mixer from now on; blocks of the
    // microphone so far went straight to the packer.
    OS_Log::Info("Start stereo capture . \n");
    m_mixer.Clear();
    m_mixing = true;
    if (m_mixRecorder->StartCapture() != 0) {
        StopSound();
        return RecordingListener::SOUND_FAILED;
    }
    return RecordingListener::SOUND_STARTED;
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
    m_mixer.Clear();
}

int RecordingSession::Finish() {
    // camera pictures stop first; one that saw the flag set is still on its
    // way to the packer, which must not close under it
    m_recording = false;
    while (m_picturesInFlight > 0)
        OS_Sleep(1);

    // sound, then pictures; the packer closes only after every thread that
    // pushes into it was joined
    StopSound();
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
    if (m_portalTask) {
        m_portalTask->Stop();
        FramePacer::Stats stats = m_portalTask->GetPacingStats();
        OS_Log::Info("portal capture: %lld pictures of %lld from the stream, %lld periods missed, "
                     "latest %lld ms late\n",
                     (long long)stats.pictures, (long long)m_portalTask->StreamPictures(),
                     (long long)stats.periodsMissed, (long long)stats.latenessMsMax);
        delete m_portalTask;
        m_portalTask = nullptr;
    }
    m_captureEnded = false;
    m_sourceWidth = m_sourceHeight = m_sourceBitsPerPixel = 0;

    // the file
    int failure = 0;
    AvPacker* packer = m_packer.exchange(nullptr);
    if (packer) {
        packer->Close();
        failure = packer->Failure();
        if (packer->TookPrepared())
            m_prepareNext = {m_codec, m_packerWidth, m_packerHeight, m_fps};
        delete packer;
    }
    m_fileName.clear();
    m_active = false;
    // FFmpeg's error codes are negated errno values where there is one
    return failure == 0 ? 0 : (failure == -1 ? EIO : AVUNERROR(failure));
}

bool RecordingSession::FirstOfPeriod(int64_t timestamp) {
    int64_t frame = RecordingFormat::FrameAt(timestamp, m_fps);
    if (frame == m_lastFrame)
        return false;
    m_lastFrame = frame;
    return true;
}

int RecordingSession::OnScreenFrame(MMPacket* packet) {
    AvPacker* packer = m_packer;
    if (!packer || !FirstOfPeriod(packet->timestamp)) {
        packet->Release();
        return 0;
    }
    packer->Push(packet);
    return 0;
}

int RecordingSession::OnCameraFrame(double, unsigned char* data, long size) {
    if (!data || size <= 0)
        return 0;
    m_lastCameraMs = OS_NowMs();
    int rowBytes = m_cameraWidth * m_cameraBitsPerPixel / 8;
    if (m_reverse && rowBytes > 0) {
        // Never past the picture the camera delivered.
        int rows = (int)std::min<long>(m_cameraHeight, size / rowBytes);
        FlipRows(data, rowBytes, rows);
    }
    if (m_preview) {
        MMPacket packet;
        packet.Fill(data, (int)size, 0);
        if (!packet.IsEmpty())
            m_preview->Push(&packet);
    }

    ++m_picturesInFlight;
    AvPacker* packer = m_recording ? m_packer.load() : nullptr;
    // the clock and the frame rule belong to this thread only while recording
    int64_t timestamp = packer ? m_clock.ElapsedUs() : 0;
    if (packer && FirstOfPeriod(timestamp)) {
        // A pool block when the picture fits one: no heap traffic per
        // picture. No free block means the packer is far behind: the packet
        // stays empty and the picture is dropped.
        MMPacket packet;
        MemPool& pool = MemPool::Frames();
        if ((unsigned long)size <= pool.BlockSize())
            packet.allocator = &pool;
        packet.Fill(data, (int)size, timestamp);
        packet.type = MMPacket::TYPE_VIDEO;
        if (!packet.IsEmpty())
            packer->Push(&packet);
    }
    --m_picturesInFlight;
    return 0;
}

int RecordingSession::OnAudioData(int tag, double time, const void* data, int size) {
    AvPacker* packer = m_packer;
    if (!packer)
        return 0;
    // Microseconds on the recording clock when the block's first sample was
    // captured.
    int64_t timestamp = m_clock.ElapsedUsAt(std::llround(time * 1e6));
    if (!m_silenceTold && m_soundPeak <= SOUND_SILENCE_LEVEL) {
        const int16_t* samples = static_cast<const int16_t*>(data);
        int peak = 0;
        for (int i = 0; i < size / 2; ++i)
            peak = std::max(peak, std::abs((int)samples[i]));
        if (peak > m_soundPeak)
            m_soundPeak = peak;
    }
    if (!m_mixing) {
        MMPacket packet;
        packet.Fill(data, size, timestamp);
        packet.type = MMPacket::TYPE_AUDIO;
        packer->Push(&packet);
        return 0;
    }
    std::vector<MMPacket> mixed;
    m_mixer.Mix(tag, timestamp, data, size, mixed);
    for (MMPacket& packet : mixed)
        packer->Push(&packet);
    return 0;
}
