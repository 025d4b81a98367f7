#pragma once

class X11Connection;

// The window's outer rectangle on the screen (its border included), in
// pixels. 0, or -1 with all outputs 0 when the window does not exist (any
// more); the X error that causes is absorbed by the connection.
int X11GetWindowRect(X11Connection* conn, unsigned long window, int* left, int* top, int* width,
                     int* height);
