#pragma once

#include "os/OS_Thread.h"

// Makes the frame pool ready for a recording of the whole screen through the
// desktop's portal (a Wayland session) while the user is still choosing
// what to record: the first blocks get the size of
// one full-screen picture and their pages are written once. Made at a
// recording's start, that took a few periods away from its beginning
// (under a hypervisor that backs memory lazily some 150 ms at 1920 x 1080).
// main starts it after the pool's Init and joins it before the exit.
class FramePoolWarmer : public OS_Thread {
protected:
    int Run() override;
};
