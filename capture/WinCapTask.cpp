#include "capture/WinCapTask.h"

WinCapTask::WinCapTask() : m_listener(nullptr), m_quit(false), m_frameSize(0), m_bitsPerPixel(0) {}

WinCapTask::~WinCapTask() { Stop(); }

int WinCapTask::Open(WindowId window) {
    if (m_grabber.Open(window) != 0)
        return -1;
    m_frameSize = m_grabber.rowBytes() * m_grabber.height();
    m_bitsPerPixel = m_grabber.bitsPerPixel();
    if (m_pacer.Init(m_frameSize) != 0) {
        m_grabber.Close();
        return -1;
    }
    m_quit = false;
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
