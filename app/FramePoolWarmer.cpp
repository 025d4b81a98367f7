#include "app/FramePoolWarmer.h"

#include "capture/CapturePath.h"
#include "capture/ScreenSize.h"
#include "media/MemPool.h"

int FramePoolWarmer::Run() {
    // On X11 the screen's pictures are lent from the grabber's shared
    // memory, not taken from the pool: nothing to make for them, and camera
    // recordings never need full-screen blocks.
    if (ChooseCapturePath() != CAPTURE_PORTAL)
        return 0;
    // 4 bytes a pixel, as the portal's pictures arrive
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    if (width > 0 && height > 0)
        MemPool::Frames().Reserve((unsigned)width * (unsigned)height * 4);
    return 0;
}
