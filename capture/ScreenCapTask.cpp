#include "capture/ScreenCapTask.h"

#include "os/OS_Log.h"

ScreenCapTask::ScreenCapTask()
    : m_listener(nullptr), m_x(0), m_y(0), m_width(0), m_height(0), m_frameSize(0), m_quit(false),
      m_timed{&m_grabber, nullptr, RecordingFormat::FRAMES_PER_SECOND, 0, 0}, m_bitsPerPixel(0) {}

ScreenCapTask::~ScreenCapTask() { Stop(); }

int ScreenCapTask::Open(int x, int y, int width, int height) {
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
    if (m_grabber.Open(x, y, width, height) != 0)
        return -1;
    m_bitsPerPixel = m_grabber.bitsPerPixel();
    m_frameSize = width * height * m_bitsPerPixel / 8;
    if (m_pacer.Init(m_grabber.Lends() ? 0 : m_frameSize) != 0) {
        m_grabber.Close();
        return -1;
    }
    m_quit = false;
    m_timed.slowestUs = m_timed.periodsPassed = 0;
    return 0;
}

void ScreenCapTask::Stop() {
    m_quit = true;
    m_pacer.Wake();
    Join();
    FramePacer::Stats stats = m_pacer.GetStats();
    if (stats.pictures > 0 && m_grabber.bitsPerPixel() != 0)
        OS_Log::Info("screen capture: %lld pictures, %lld periods missed, %lld of them during grabs "
                     "(the slowest %lld ms), the first %lld ms after the clock's start\n",
                     (long long)stats.pictures, (long long)stats.periodsMissed, (long long)m_timed.periodsPassed,
                     (long long)(m_timed.slowestUs / 1000), (long long)stats.firstMs);
    m_grabber.Close();
}

int ScreenCapTask::Run() {
    m_pacer.RunCapture(m_timed, m_frameSize, m_listener, m_quit);
    return 0;
}

int ScreenCapTask::TimedGrabber::Grab(void* buffer, int size) {
    int64_t began = clock ? clock->ElapsedUs() : 0;
    int rc = grabber->Grab(buffer, size);
    Time(began);
    return rc;
}

int ScreenCapTask::TimedGrabber::GrabLent(void** picture, MMUserMalloc** from) {
    int64_t began = clock ? clock->ElapsedUs() : 0;
    int rc = grabber->GrabLent(picture, from);
    if (rc == 0)
        Time(began);
    return rc;
}

void ScreenCapTask::TimedGrabber::Time(int64_t began) {
    if (!clock)
        return;
    int64_t ended = clock->ElapsedUs();
    if (ended - began > slowestUs)
        slowestUs = ended - began;
    // the next grab can come in the period this one ended in at the earliest
    int64_t passed = RecordingFormat::FrameAt(ended, fps) - RecordingFormat::FrameAt(began, fps) - 1;
    if (passed > 0)
        periodsPassed += passed;
}
