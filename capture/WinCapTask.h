#pragma once

#include <atomic>
#include <cstdint>

#include "capture/FramePacer.h"
#include "capture/ScreenCapListener.h"
#include "capture/WindowGrabber.h"
#include "platform/WindowId.h"
#include "os/OS_Clock.h"
#include "os/OS_Thread.h"

// The capture thread of one window: one picture at the start of every
// frame period of the recording clock, grabbed into a block of the
// process-wide frame pool and handed to the listener.
//
// The owner (the recording engine) calls SetListener, SetFrameClock, Open and
// Start on the UI thread, and at the end Stop (on its worker), then deletes
// the task. Between Start and Stop only
// the capture thread touches the grabber.
class WinCapTask : public OS_Thread {
public:
    WinCapTask();
    // Stops the thread if its owner has not.
    ~WinCapTask() override;

    // Not owned; null: pictures are released at once. Before Start.
    void SetListener(ScreenCapListener* listener) { m_listener = listener; }
    // The clock the listener numbers pictures with; as for ScreenCapTask.
    void SetFrameClock(const OS_Clock* clock) { m_pacer.SetClock(clock); }
    // Pictures a second; before Start.
    void SetFrameRate(int fps) { m_pacer.SetFrameRate(fps); }
    // Opens the grabber on window. 0, or -1 when it cannot be opened (no
    // display, no such window, no area, unsupported screen depth) or the
    // frame pool cannot hold its pictures.
    int Open(WindowId window);
    // Wakes the thread and ends it (after at most the picture in hand),
    // joins it and closes the grabber. Also right after Open without Start;
    // safe twice.
    void Stop();

    // The picture: the window's size at Open, rowBytes a row.
    int width() const { return m_grabber.width(); }
    int height() const { return m_grabber.height(); }
    int rowBytes() const { return m_grabber.rowBytes(); }
    int bitsPerPixel() const { return m_bitsPerPixel; }
    int frameSize() const { return m_frameSize; }
    // How the capture kept to the frame grid.
    FramePacer::Stats GetPacingStats() const { return m_pacer.GetStats(); }

protected:
    int Run() override;

private:
    ScreenCapListener* m_listener;
    std::atomic<bool> m_quit;
    FramePacer m_pacer;
    WindowGrabber m_grabber;
    int m_frameSize;
    int m_bitsPerPixel;
};
