#pragma once

#include "capture/CapturePath.h"
#include "os/OS_Thread.h"

// Makes the memory of a whole-screen recording while the user is still
// choosing what to record: on X11 the grabber's shared segments, through the
// desktop's portal (a Wayland session) the frame pool's first blocks, each
// the size of one full-screen picture with its pages written once; and the
// video encoder of a full-screen recording where opening one costs periods
// (AvPacker::Prepare). Made at a recording's start, that took a few periods
// away from its beginning (under a hypervisor that backs memory lazily some
// 25 us a page, 150 ms at 1920 x 1080). Camera recordings need none of it.
class FramePoolWarmer : public OS_Thread {
public:
    // Starts the process's warmers when screen recording is entered; later
    // calls do nothing. path: the one the recordings will take. UI thread,
    // after the pool's Init.
    static void Begin(CapturePath path);
    // Waits for them if they were started and frees an encoder no recording
    // took; main, before the exit, after every recording ended.
    static void End();

    FramePoolWarmer() : m_encoder(false), m_path(CAPTURE_X11), m_width(0), m_height(0) {}

protected:
    int Run() override;

private:
    bool m_encoder;  // this one makes the encoder, not the capture's memory
    CapturePath m_path;
    int m_width, m_height;  // the screen's
};
