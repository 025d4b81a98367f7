#include "capture/WinCapTask.h"

#include <cstring>

WinCapTask::WinCapTask() : m_listener(nullptr), m_quit(false), m_frameSize(0), m_bitsPerPixel(0) {}

WinCapTask::~WinCapTask() { Stop(); }

int WinCapTask::Open(WindowId window) {
    if (m_grabber.Open(window) != 0)
        return -1;
    m_frameSize = m_grabber.rowBytes() * m_grabber.height();
    m_bitsPerPixel = m_grabber.bitsPerPixel();
    m_quit = false;
    m_pacer.Init(0);
    return 0;
}

void WinCapTask::Stop() {
    m_quit = true;
    Join();
    m_grabber.Close();
}

unsigned WinCapTask::PauseAfterPass(int64_t passMs) {
    return passMs < FRAME_PERIOD_MS ? (unsigned)(FRAME_PERIOD_MS - passMs) : (unsigned)MIN_PAUSE_MS;
}

int WinCapTask::Run() {
    m_clock.Start(0);
    if (m_frameSize <= 0)
        return 0;
    while (!m_quit) {
        int64_t passStart = m_clock.Elapsed();

        // a fresh buffer with the picture; a window that vanished gives a
        // black one rather than whatever the heap held before
        uint8_t* buffer = new uint8_t[m_frameSize];
        if (m_grabber.Grab(buffer, m_frameSize) != 0)
            memset(buffer, 0, (size_t)m_frameSize);

        // wrap it and hand it over; the listener now owns the data
        MMPacket packet;
        packet.Attach(buffer, m_frameSize, 0, true);
        DeliverScreenFrame(m_listener, &packet);

        m_pacer.TimedWait(PauseAfterPass(m_clock.Elapsed() - passStart));
    }
    return 0;
}
