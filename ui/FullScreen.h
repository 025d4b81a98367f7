#pragma once

class QWidget;

// Shows window full-screen over the primary screen with its origin at the
// screen's origin, so that widget positions are screen pixels. Without a
// window manager the full-screen state alone moves nothing: the geometry is
// set too.
void ShowFullScreenOnPrimary(QWidget* window);
