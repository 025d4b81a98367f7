#pragma once

// How screen mode takes its pictures: from the X server, or from the
// desktop's screen-sharing portal (a Wayland session, where the X server
// sees only its own windows and would record black).
enum CapturePath { CAPTURE_X11 = 0, CAPTURE_PORTAL = 1 };

// VIDLOOM_CAPTURE=x11|portal when set, else the portal in a Wayland session
// (XDG_SESSION_TYPE=wayland or WAYLAND_DISPLAY set), else X11.
CapturePath ChooseCapturePath();
// "x11" or "portal", for the log.
const char* CapturePathName(CapturePath path);
