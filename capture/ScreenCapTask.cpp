#include "capture/ScreenCapTask.h"

ScreenCapTask::ScreenCapTask()
    : m_listener(nullptr), m_x(0), m_y(0), m_width(0), m_height(0), m_frameSize(0), m_quit(false),
      m_bitsPerPixel(0) {}

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
    if (m_pacer.Init(m_frameSize) != 0) {
        m_grabber.Close();
        return -1;
    }
    m_quit = false;
    return 0;
}

void ScreenCapTask::Stop() {
    m_quit = true;
    m_pacer.Wake();
    Join();
    m_grabber.Close();
}

int ScreenCapTask::Run() {
    m_pacer.RunCapture(m_grabber, m_frameSize, m_listener, m_quit);
    return 0;
}
