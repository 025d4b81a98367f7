#pragma once

// The primary screen's size in pixels; both 0 when there is no display.
// Opens and closes its own X connection, so any thread may call it.
void GetScreenSize(int* width, int* height);
