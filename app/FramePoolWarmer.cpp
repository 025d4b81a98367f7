#include "app/FramePoolWarmer.h"

#include "capture/CapturePath.h"
#include "capture/DesktopGrabber.h"
#include "capture/ScreenSize.h"
#include "media/MemPool.h"

namespace {

FramePoolWarmer* g_warmer = nullptr;  // UI thread only

}  // namespace

void FramePoolWarmer::Begin(CapturePath path) {
    if (g_warmer)
        return;
    g_warmer = new FramePoolWarmer;
    g_warmer->m_path = path;
    g_warmer->Start();
}

void FramePoolWarmer::End() {
    if (!g_warmer)
        return;
    g_warmer->Join();
    delete g_warmer;
    g_warmer = nullptr;
}

int FramePoolWarmer::Run() {
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    if (width <= 0 || height <= 0)
        return 0;
    // On X11 the pictures are lent from the grabber's shared memory, not
    // taken from the pool.
    if (m_path == CAPTURE_X11)
        return DesktopGrabber::Prepare(width, height);
    // 4 bytes a pixel, as the portal's pictures arrive
    MemPool::Frames().Reserve((unsigned)width * (unsigned)height * 4);
    return 0;
}
