#pragma once

#include "platform/WindowId.h"

// Asks a window to close, as a window manager's close button does (the
// WM_DELETE_WINDOW message of the window's client). The end-to-end tests use
// it where no window manager runs. 0, or -1 when the display or the window
// is not there.
int X11RequestClose(WindowId window);
