#include "app/FramePoolWarmer.h"

#include "capture/ScreenSize.h"
#include "media/MemPool.h"

int FramePoolWarmer::Run() {
    // 4 bytes a pixel, as the X11 capture grabs them
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    if (width > 0 && height > 0)
        MemPool::Frames().Reserve((unsigned)width * (unsigned)height * 4);
    return 0;
}
