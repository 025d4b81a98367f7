#include "capture/ScreenCapTask.h"

#include <cstring>

#include "media/MemPool.h"
#include "os/OS_Clock.h"

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
    m_quit = false;
    m_pacer.Init(0);
    return 0;
}

void ScreenCapTask::Stop() {
    m_quit = true;
    Join();
    m_grabber.Close();
}

int ScreenCapTask::Run() {
    m_clock.Start(0);
    if (m_frameSize <= 0)
        return 0;
    MemPool& pool = MemPool::Frames();
    // A picture larger than a pool block (a screen above 1920 x 1080) must
    // not be written into one: such pictures come from the heap instead.
    bool fromPool = (unsigned)m_frameSize <= pool.BlockSize();
    while (!m_quit) {
        // a buffer: a pool block, or none free and try again shortly
        void* buffer = fromPool ? pool.Alloc((unsigned)m_frameSize) : new uint8_t[m_frameSize];
        if (!buffer) {
            OS_Sleep(POOL_RETRY_MS);
            continue;
        }
        memset(buffer, 0, (size_t)m_frameSize);

        // the picture with the cursor
        m_grabber.Grab(buffer, m_frameSize);

        // wrap it and hand it over; the listener now owns the data
        MMPacket packet;
        packet.allocator = fromPool ? &pool : nullptr;
        packet.Attach(buffer, m_frameSize, 0, true);
        DeliverScreenFrame(m_listener, &packet);

        m_pacer.TimedWait(PAUSE_MS);
    }
    return 0;
}
