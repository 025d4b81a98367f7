#include "platform/x11/X11Monitor.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include "platform/x11/X11Connection.h"

int X11GetPrimaryMonitor(X11Connection* conn, int* x, int* y, int* width, int* height) {
    *x = *y = *width = *height = 0;
    if (!conn || !conn->IsOpen())
        return -1;
    *width = conn->screenWidth();
    *height = conn->screenHeight();
    Display* display = conn->display();
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    // Monitors came with RandR 1.5.
    if (!XRRQueryExtension(display, &eventBase, &errorBase) || !XRRQueryVersion(display, &major, &minor) ||
        major * 100 + minor < 105)
        return 0;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, conn->root(), True, &count);
    if (!monitors)
        return 0;
    int chosen = -1;
    for (int i = 0; i < count && chosen < 0; ++i)
        if (monitors[i].primary && monitors[i].width > 0 && monitors[i].height > 0)
            chosen = i;
    for (int i = 0; i < count && chosen < 0; ++i)
        if (monitors[i].width > 0 && monitors[i].height > 0)
            chosen = i;
    if (chosen >= 0) {
        *x = monitors[chosen].x;
        *y = monitors[chosen].y;
        *width = monitors[chosen].width;
        *height = monitors[chosen].height;
    }
    XRRFreeMonitors(monitors);
    return 0;
}
