#include "platform/x11/X11Ping.h"

#include <X11/Xlib.h>
#include <cstring>

#include "os/OS_Clock.h"
#include "platform/x11/X11Connection.h"

int X11Ping(WindowId window, int timeoutMs) {
    X11Connection connection;
    if (window == 0 || connection.Open() != 0)
        return -1;
    Display* display = connection.display();
    Window root = DefaultRootWindow(display);
    // the client answers by sending the message back to the root window
    XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);
    Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)ping;
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = (long)window;
    int64_t start = OS_NowMs();
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    for (int64_t elapsed = 0; elapsed < timeoutMs; elapsed = OS_NowMs() - start) {
        while (XPending(display) > 0) {
            XEvent reply;
            XNextEvent(display, &reply);
            if (reply.type == ClientMessage && reply.xclient.message_type == protocols &&
                (Atom)reply.xclient.data.l[0] == ping && (WindowId)reply.xclient.data.l[2] == window)
                return (int)(OS_NowMs() - start);
        }
        OS_Sleep(1);
    }
    return -1;
}
