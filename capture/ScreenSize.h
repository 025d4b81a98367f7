#pragma once

// The primary monitor's rectangle in screen pixels (RandR's primary monitor,
// else the first one, else the whole screen); all 0 when there is no display.
// Opens and closes its own X connection, so any thread may call it.
void GetScreenRect(int* x, int* y, int* width, int* height);
// The primary monitor's size in pixels; both 0 when there is no display.
void GetScreenSize(int* width, int* height);
