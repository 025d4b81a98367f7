#include "capture/ScreenSize.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Monitor.h"

void GetScreenRect(int* x, int* y, int* width, int* height) {
    *x = *y = *width = *height = 0;
    X11Connection conn;
    if (conn.Open() != 0)
        return;
    X11GetPrimaryMonitor(&conn, x, y, width, height);
    conn.Close();
}

void GetScreenSize(int* width, int* height) {
    int x = 0, y = 0;
    GetScreenRect(&x, &y, width, height);
}
