#pragma once

#include <atomic>
#include <cstdint>

#include "capture/FramePacer.h"
#include "capture/LatestFrame.h"
#include "capture/ScreenCapListener.h"
#include "os/OS_Clock.h"
#include "os/OS_Thread.h"
#include "platform/pipewire/PipeWireStream.h"

// Hears that a capture ended by itself (the desktop stopped sharing, the
// compositor or PipeWire went away). Called once, on PipeWire's thread: it
// must return quickly and not stop the task from there.
class CaptureEndListener {
public:
    virtual void OnCaptureEnded() = 0;

protected:
    ~CaptureEndListener() = default;
};

// The capture thread of a screen-sharing portal's stream: the stream's
// newest picture is kept as it comes (a compositor sends one only when
// something changed), and one picture is handed to the listener at the start
// of every frame period of the recording clock, the last one again on a
// still screen, extras left out: 25 pictures a second, every period filled.
//
// The owner (the UI thread) calls SetListener, SetFrameClock,
// SetEndListener, Open, Start, and at the end Stop, then deletes the task.
class PortalCapTask : public OS_Thread, private StreamSink {
public:
    // How long Open waits for the producer's format and first picture, in
    // ms: a compositor answers within a frame or two.
    static constexpr int FORMAT_WAIT_MS = 5000;
    static constexpr int FIRST_PICTURE_WAIT_MS = 500;
    // The producer's most pictures a second, as a multiple of ours: twice
    // keeps every period fresh (a compositor that skips a picture that came
    // too early sends far fewer when asked for exactly our rate).
    static constexpr int PRODUCER_RATE_FACTOR = 2;

    PortalCapTask();
    // Stops the thread if its owner has not.
    ~PortalCapTask() override;

    // As ScreenCapTask's. Before Start.
    void SetListener(ScreenCapListener* listener) { m_listener = listener; }
    void SetFrameClock(const OS_Clock* clock) { m_pacer.SetClock(clock); }
    // Pictures a second; before Start. The stream is asked for at most
    // PRODUCER_RATE_FACTOR times as many: a busy desktop at 60 a second
    // costs a copy each, which the grid would mostly leave out.
    void SetFrameRate(int fps);
    // Not owned; null: nobody hears. Before Open.
    void SetEndListener(CaptureEndListener* listener) { m_endListener = listener; }

    // Connects to node on the portal's PipeWire descriptor (the caller keeps
    // it) and fixes the picture size: the region x, y, width x height in
    // stream pixels, or the whole stream when width <= 0. 0, or -1 (logged)
    // when PipeWire cannot be reached, the stream gives no format, or the
    // frame pool cannot hold the pictures.
    int Open(int pipeWireFd, uint32_t node, int x, int y, int width, int height);
    // Ends the thread, joins it and disconnects the stream. Also right after
    // Open without Start; safe twice.
    void Stop();

    int width() const { return m_width; }
    int height() const { return m_height; }
    int bitsPerPixel() const { return 32; }
    int frameSize() const { return m_width * m_height * 4; }
    // The newest picture (BGRx, frameSize bytes) into buffer, without the
    // thread: a still for a chooser. 0, or -1 before the first picture.
    int GrabStill(void* buffer, int size) { return m_frame.Grab(buffer, size); }
    FramePacer::Stats GetPacingStats() const { return m_pacer.GetStats(); }
    // True once the stream ended by itself; the recording should end.
    bool HasEnded() const { return m_stream.HasEnded(); }
    // Pictures the stream delivered (not those handed to the listener).
    int64_t StreamPictures() const { return m_frame.PicturesPut(); }

protected:
    int Run() override;

private:
    void OnStreamPicture(const StreamPicture& picture) override { m_frame.Put(picture); }
    void OnStreamCursor(const StreamCursor& cursor) override { m_frame.PutCursor(cursor); }
    void OnStreamEnded() override;

    ScreenCapListener* m_listener;
    CaptureEndListener* m_endListener;
    PipeWireStream m_stream;
    LatestFrame m_frame;
    FramePacer m_pacer;
    int m_width, m_height;
    int m_fps;
    std::atomic<bool> m_quit;
};
