#pragma once

#include <atomic>

#include "capture/DesktopGrabber.h"
#include "capture/ScreenCapListener.h"
#include "os/OS_Clock.h"
#include "os/OS_Semaphore.h"
#include "os/OS_Thread.h"

// The capture thread of a fixed screen rectangle: grabs pictures as fast as
// grabbing allows, with a short pause after each, into blocks of the
// process-wide frame pool, and hands each to the listener.
//
// The owner (the UI thread) calls SetListener, Open, Start, and at the end
// Stop, then deletes the task. Between Start and Stop only the capture
// thread touches the grabber.
class ScreenCapTask : public OS_Thread {
public:
    // Pause after each picture, in ms: lets the other threads run.
    static constexpr unsigned PAUSE_MS = 5;
    // Wait before asking the pool again when all its blocks are out, in ms.
    static constexpr unsigned POOL_RETRY_MS = 5;

    ScreenCapTask();
    // Stops the thread if its owner has not.
    ~ScreenCapTask() override;

    // Not owned; null: pictures are released at once. Before Start.
    void SetListener(ScreenCapListener* listener) { m_listener = listener; }
    // Opens the grabber on the rectangle. 0, or -1 when the grabber cannot
    // be opened (no display, no area, unsupported screen depth).
    int Open(int x, int y, int width, int height);
    // Ends the thread (after at most one more picture), joins it and closes
    // the grabber. Also right after Open without Start; safe twice.
    void Stop();

    int width() const { return m_width; }
    int height() const { return m_height; }
    int bitsPerPixel() const { return m_bitsPerPixel; }
    // Bytes of one picture.
    int frameSize() const { return m_frameSize; }

protected:
    int Run() override;

private:
    ScreenCapListener* m_listener;
    OS_Clock m_clock;  // started with the thread
    DesktopGrabber m_grabber;
    int m_x, m_y, m_width, m_height;
    int m_frameSize;
    std::atomic<bool> m_quit;
    OS_Semaphore m_pacer;  // never posted: its timed wait is the pause
    int m_bitsPerPixel;
};
