#include "app/FramePoolWarmer.h"

#include "app/AppPaths.h"
#include "app/RecordingSettings.h"
#include "capture/CapturePath.h"
#include "capture/DesktopGrabber.h"
#include "capture/ScreenSize.h"
#include "media/AvPacker.h"
#include "media/MemPool.h"

namespace {

// One warmer for the capture's memory, one for the encoder: both are mostly
// page faults, which two cores take in half the time, and the user may
// press F3 a second after the bar shows.
FramePoolWarmer* g_warmers[2] = {nullptr, nullptr};  // UI thread only

}  // namespace

void FramePoolWarmer::Begin(CapturePath path) {
    if (g_warmers[0])
        return;
    // Read here, once: Xlib's extension look-ups race when two threads
    // open and close displays at the same time.
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    if (width <= 0 || height <= 0)
        return;
    for (int part = 0; part < 2; ++part) {
        g_warmers[part] = new FramePoolWarmer;
        g_warmers[part]->m_encoder = part == 1;
        g_warmers[part]->m_path = path;
        g_warmers[part]->m_width = width;
        g_warmers[part]->m_height = height;
        g_warmers[part]->Start();
    }
}

void FramePoolWarmer::End() {
    for (FramePoolWarmer*& warmer : g_warmers) {
        if (!warmer)
            continue;
        warmer->Join();
        delete warmer;
        warmer = nullptr;
    }
    AvPacker::DropPrepared();
}

int FramePoolWarmer::Run() {
    int width = m_width, height = m_height;
    if (m_encoder) {
        // in the format set now
        RecordingSettings settings;
        settings.Load(AppPaths::Global().ConfigPath().c_str());
        return AvPacker::Prepare(settings.codec, width, height, settings.fps);
    }
    // On X11 the pictures are lent from the grabber's shared memory, not
    // taken from the pool.
    if (m_path == CAPTURE_X11)
        return DesktopGrabber::Prepare(width, height);
    // 4 bytes a pixel, as the portal's pictures arrive
    MemPool::Frames().Reserve((unsigned)width * (unsigned)height * 4);
    return 0;
}
