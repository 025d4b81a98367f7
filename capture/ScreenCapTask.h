#pragma once

#include <atomic>

#include "capture/DesktopGrabber.h"
#include "capture/FramePacer.h"
#include "capture/ScreenCapListener.h"
#include "media/RecordingFormat.h"
#include "os/OS_Clock.h"
#include "os/OS_Thread.h"

// The capture thread of a fixed screen rectangle: one picture at the start
// of every frame period of the recording clock, grabbed straight into shared
// memory the grabber lends (or, for a rectangle partly off the screen or
// without shared memory, into a block of the process-wide frame pool) and
// handed to the listener.
//
// The owner (the recording engine) calls SetListener, SetFrameClock, Open and
// Start on the UI thread, and at the end Stop (on its worker), then deletes
// the task. Between Start and Stop only
// the capture thread touches the grabber.
class ScreenCapTask : public OS_Thread {
public:
    ScreenCapTask();
    // Stops the thread if its owner has not.
    ~ScreenCapTask() override;

    // Not owned; null: pictures are released at once. Before Start.
    void SetListener(ScreenCapListener* listener) { m_listener = listener; }
    // The clock the listener numbers pictures with, so that each picture is
    // grabbed at the start of its own frame period. Not owned; it must run
    // until Stop. Before Start; without it the task's own clock, started by
    // Start, gives the grid.
    void SetFrameClock(const OS_Clock* clock) {
        m_pacer.SetClock(clock);
        m_timed.clock = clock;
    }
    // Pictures a second; before Start.
    void SetFrameRate(int fps) {
        m_pacer.SetFrameRate(fps);
        m_timed.fps = fps > 0 ? fps : RecordingFormat::FRAMES_PER_SECOND;
    }
    // Opens the grabber on the rectangle. 0, or -1 when the grabber cannot
    // be opened (no display, no area, unsupported screen depth) or the frame
    // pool cannot hold its pictures.
    int Open(int x, int y, int width, int height);
    // Wakes the thread and ends it (after at most the picture in hand),
    // joins it, logs how the capture kept to the grid and closes the
    // grabber. Also right after Open without Start; safe twice.
    void Stop();

    int width() const { return m_width; }
    int height() const { return m_height; }
    int bitsPerPixel() const { return m_bitsPerPixel; }
    // Bytes of one picture.
    int frameSize() const { return m_frameSize; }
    // How the capture kept to the frame grid.
    FramePacer::Stats GetPacingStats() const { return m_pacer.GetStats(); }

protected:
    int Run() override;

private:
    // The grabber as the pacer sees it, timing each grab: periods lost
    // because the X server answered late are told apart from periods lost
    // further on. Capture thread; read after it ends.
    struct TimedGrabber {
        DesktopGrabber* grabber;
        const OS_Clock* clock;  // the frame grid's; null: not timed
        int fps;
        int64_t slowestUs;      // the longest grab
        int64_t periodsPassed;  // periods that began and ended during a grab
        int Grab(void* buffer, int size);
        bool Lends() const { return grabber->Lends(); }
        int GrabLent(void** picture, MMUserMalloc** from);
        void Time(int64_t began);
    };

    ScreenCapListener* m_listener;
    DesktopGrabber m_grabber;
    int m_x, m_y, m_width, m_height;
    int m_frameSize;
    std::atomic<bool> m_quit;
    FramePacer m_pacer;
    TimedGrabber m_timed;
    int m_bitsPerPixel;
};
