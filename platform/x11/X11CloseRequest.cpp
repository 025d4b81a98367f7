#include "platform/x11/X11CloseRequest.h"

#include <X11/Xlib.h>
#include <cstring>

#include "platform/x11/X11Connection.h"

int X11RequestClose(WindowId window) {
    X11Connection connection;
    if (window == 0 || connection.Open() != 0)
        return -1;
    Display* display = connection.display();
    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    return connection.Sync();
}
