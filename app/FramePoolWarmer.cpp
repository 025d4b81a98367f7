#include "app/FramePoolWarmer.h"

#include "app/AppPaths.h"
#include "app/RecordingSettings.h"
#include "capture/CapturePath.h"
#include "capture/DesktopGrabber.h"
#include "capture/ScreenSize.h"
#include "media/AvPacker.h"
#include "media/MemPool.h"

namespace {

FramePoolWarmer* g_warmer = nullptr;  // UI thread only

}  // namespace

void FramePoolWarmer::Begin() {
    if (g_warmer)
        return;
    g_warmer = new FramePoolWarmer;
    g_warmer->Start();
}

void FramePoolWarmer::End() {
    if (!g_warmer)
        return;
    g_warmer->Join();
    delete g_warmer;
    g_warmer = nullptr;
    AvPacker::DropPrepared();
}

int FramePoolWarmer::Run() {
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    if (width <= 0 || height <= 0)
        return 0;
    // On X11 the pictures are lent from the grabber's shared memory, not
    // taken from the pool.
    if (ChooseCapturePath() == CAPTURE_X11)
        DesktopGrabber::Prepare(width, height);
    else  // 4 bytes a pixel, as the portal's pictures arrive
        MemPool::Frames().Reserve((unsigned)width * (unsigned)height * 4);
    // the encoder, in the format set now
    RecordingSettings settings;
    settings.Load(AppPaths::Global().ConfigPath().c_str());
    return AvPacker::Prepare(settings.codec, width, height, settings.fps);
}
