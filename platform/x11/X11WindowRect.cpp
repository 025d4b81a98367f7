#include "platform/x11/X11WindowRect.h"

#include <X11/Xlib.h>

#include "platform/x11/X11Connection.h"

int X11GetWindowRect(X11Connection* conn, unsigned long window, int* left, int* top, int* width,
                     int* height) {
    *left = *top = *width = *height = 0;
    if (!conn || !conn->IsOpen() || window == 0)
        return -1;
    Display* display = conn->display();
    Window root = 0, child = 0;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    // Both are round trips: a vanished window makes them return 0 (after the
    // error handler has noted BadWindow or BadDrawable).
    if (!XGetGeometry(display, window, &root, &x, &y, &w, &h, &border, &depth) ||
        !XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child)) {
        conn->TakeError();
        return -1;
    }
    *left = x - (int)border;
    *top = y - (int)border;
    *width = (int)(w + 2 * border);
    *height = (int)(h + 2 * border);
    return 0;
}
