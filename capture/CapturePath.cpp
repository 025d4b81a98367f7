#include "capture/CapturePath.h"

#include <cstdlib>
#include <cstring>

#include "os/OS_Log.h"

namespace {

bool IsSet(const char* name, const char* value) {
    const char* text = getenv(name);
    return text && *text && (!value || strcmp(text, value) == 0);
}

}  // namespace

CapturePath ChooseCapturePath() {
    if (IsSet("VIDLOOM_CAPTURE", "x11"))
        return CAPTURE_X11;
    if (IsSet("VIDLOOM_CAPTURE", "portal"))
        return CAPTURE_PORTAL;
    if (IsSet("VIDLOOM_CAPTURE", nullptr))
        OS_Log::Warning("VIDLOOM_CAPTURE=%s is neither x11 nor portal: chosen by the session\n",
                        getenv("VIDLOOM_CAPTURE"));
    return IsSet("XDG_SESSION_TYPE", "wayland") || IsSet("WAYLAND_DISPLAY", nullptr) ? CAPTURE_PORTAL
                                                                                      : CAPTURE_X11;
}

const char* CapturePathName(CapturePath path) { return path == CAPTURE_PORTAL ? "portal" : "x11"; }
