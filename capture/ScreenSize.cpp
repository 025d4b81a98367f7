#include "capture/ScreenSize.h"

#include "platform/x11/X11Connection.h"

void GetScreenSize(int* width, int* height) {
    X11Connection conn;
    *width = *height = 0;
    if (conn.Open() != 0)
        return;
    *width = conn.screenWidth();
    *height = conn.screenHeight();
    conn.Close();
}
