#pragma once

#include <atomic>
#include <cstdint>

#include "capture/ScreenCapListener.h"
#include "capture/WindowGrabber.h"
#include "platform/WindowId.h"
#include "os/OS_Clock.h"
#include "os/OS_Semaphore.h"
#include "os/OS_Thread.h"

// The capture thread of one window: one picture every 40 ms (while a pass
// takes less than that), each in a new heap buffer, handed to the listener.
//
// The owner (the UI thread) calls SetListener, Open, Start, and at the end
// Stop, then deletes the task. Between Start and Stop only the capture
// thread touches the grabber.
class WinCapTask : public OS_Thread {
public:
    // One picture per frame of the recording (25 per second), in ms.
    static constexpr int FRAME_PERIOD_MS = 40;
    // Shortest pause after a pass, in ms: a slow grab still lets other
    // threads run.
    static constexpr int MIN_PAUSE_MS = 5;

    WinCapTask();
    // Stops the thread if its owner has not.
    ~WinCapTask() override;

    // Not owned; null: pictures are released at once. Before Start.
    void SetListener(ScreenCapListener* listener) { m_listener = listener; }
    // Opens the grabber on window. 0, or -1 when it cannot be opened (no
    // display, no such window, no area, unsupported screen depth).
    int Open(WindowId window);
    // Ends the thread (after at most one more picture), joins it and closes
    // the grabber. Also right after Open without Start; safe twice.
    void Stop();

    // The picture: the window's size at Open, rowBytes a row.
    int width() const { return m_grabber.width(); }
    int height() const { return m_grabber.height(); }
    int rowBytes() const { return m_grabber.rowBytes(); }
    int bitsPerPixel() const { return m_bitsPerPixel; }
    int frameSize() const { return m_frameSize; }

    // Pause after a pass that took passMs: the rest of the frame period,
    // or MIN_PAUSE_MS once the pass has used it all.
    static unsigned PauseAfterPass(int64_t passMs);

protected:
    int Run() override;

private:
    ScreenCapListener* m_listener;
    OS_Clock m_clock;  // started with the thread; times each pass
    std::atomic<bool> m_quit;
    OS_Semaphore m_pacer;  // never posted: its timed wait is the pause
    WindowGrabber m_grabber;
    int m_frameSize;
    int m_bitsPerPixel;
};
