#pragma once

class X11Connection;

// The primary monitor's rectangle in screen pixels: RandR's primary monitor,
// else its first one, else (no RandR 1.5 on the server) the whole screen.
// 0, or -1 with all four 0 when conn is not open.
int X11GetPrimaryMonitor(X11Connection* conn, int* x, int* y, int* width, int* height);
