#include "capture/WinCapTask.h"

#include "media/MemPool.h"
#include "os/OS_Log.h"

WinCapTask::WinCapTask() : m_listener(nullptr), m_quit(false), m_frameSize(0), m_bitsPerPixel(0) {}

WinCapTask::~WinCapTask() { Stop(); }

int WinCapTask::Open(WindowId window) {
    if (m_grabber.Open(window) != 0)
        return -1;
    m_frameSize = m_grabber.rowBytes() * m_grabber.height();
    m_bitsPerPixel = m_grabber.bitsPerPixel();
    // A window may be larger than a pool block was made for.
    if (MemPool::Frames().Reserve((unsigned)m_frameSize) != 0) {
        OS_Log::Error("[WinCapTask::Open] Error: no frame pool for pictures of %d bytes.\n", m_frameSize);
        m_grabber.Close();
        return -1;
    }
    m_quit = false;
    m_pacer.Init();
    return 0;
}

void WinCapTask::Stop() {
    m_quit = true;
    m_pacer.Wake();
    Join();
    m_grabber.Close();
}

int WinCapTask::Run() {
    m_pacer.RunCapture(m_grabber, m_frameSize, m_listener, m_quit);
    return 0;
}
