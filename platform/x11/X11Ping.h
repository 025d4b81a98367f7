#pragma once

#include "platform/WindowId.h"

// Pings a window's client as a window manager does (_NET_WM_PING) to see
// whether it answers: its event loop must run for the reply. The end-to-end
// tests use it to tell a frozen window. Milliseconds until the reply, or -1
// when none came within timeoutMs (or the display or window is not there).
int X11Ping(WindowId window, int timeoutMs);
