#pragma once

class QWidget;

// Shows window full-screen over the primary monitor (capture/ScreenSize.h),
// which need not start at the screen's origin: widget positions are screen
// positions less the monitor's corner. Without a window manager the
// full-screen state alone moves nothing: the geometry is set too.
void ShowFullScreenOnPrimary(QWidget* window);
