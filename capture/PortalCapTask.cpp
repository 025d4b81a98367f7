#include "capture/PortalCapTask.h"

#include "media/RecordingFormat.h"
#include "os/OS_Clock.h"
#include "os/OS_Log.h"

PortalCapTask::PortalCapTask()
    : m_listener(nullptr), m_endListener(nullptr), m_width(0), m_height(0),
      m_fps(RecordingFormat::FRAMES_PER_SECOND), m_quit(false) {}

PortalCapTask::~PortalCapTask() { Stop(); }

void PortalCapTask::SetFrameRate(int fps) {
    m_pacer.SetFrameRate(fps);
    m_fps = fps > 0 ? fps : RecordingFormat::FRAMES_PER_SECOND;
    m_stream.SetMaxFrameRate(m_fps * PRODUCER_RATE_FACTOR);
}

int PortalCapTask::Open(int pipeWireFd, uint32_t node, int x, int y, int width, int height) {
    // the region to keep, then the stream that fills it
    m_stream.SetMaxFrameRate(m_fps * PRODUCER_RATE_FACTOR);
    if (m_frame.Open(x, y, width, height) != 0 || m_stream.Open(pipeWireFd, node, this) != 0)
        return -1;
    int streamWidth = 0, streamHeight = 0;
    if (m_stream.WaitForFormat(FORMAT_WAIT_MS, &streamWidth, &streamHeight) != 0) {
        Stop();
        return -1;
    }

    // the size: the first picture fixes it (a producer's crop may differ
    // from the format); a still desktop may send none for a while
    int64_t until = OS_NowMs() + FIRST_PICTURE_WAIT_MS;
    while (m_frame.PicturesPut() == 0 && !m_stream.HasEnded() && OS_NowMs() < until)
        OS_Sleep(5);
    m_width = width > 0 ? width : streamWidth;
    m_height = width > 0 ? height : streamHeight;
    m_frame.FixSize(&m_width, &m_height);
    OS_Log::Info("portal capture: stream %dx%d, pictures %dx%d\n", streamWidth, streamHeight, m_width, m_height);

    if (m_pacer.Init(frameSize()) != 0) {
        Stop();
        return -1;
    }
    m_quit = false;
    return 0;
}

void PortalCapTask::Stop() {
    m_quit = true;
    m_pacer.Wake();
    Join();
    m_stream.Close();
}

void PortalCapTask::OnStreamEnded() {
    if (m_endListener)
        m_endListener->OnCaptureEnded();
}

int PortalCapTask::Run() {
    m_pacer.RunCapture(m_frame, frameSize(), m_listener, m_quit);
    return 0;
}
