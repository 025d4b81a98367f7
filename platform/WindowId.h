#pragma once

// A window of the desktop, as the window system names it (an X11 window id).
// 0 means no window.
typedef unsigned long WindowId;
