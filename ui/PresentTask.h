#pragma once

#include <atomic>
#include <cstdint>

#include "media/ImageConverter.h"
#include "media/MMPacket.h"
#include "media/PacketSink.h"
#include "media/PacketQueue.h"
#include "os/OS_Thread.h"

class GLWidget;

// The camera preview's thread: takes copies of the camera's pictures from a
// queue of at most 31, converts them to 24-bit blue, green, red and hands
// them to the preview widget, one per 5 ms pass. The camera thread only
// queues; conversion never runs on it or on the GUI thread.
// Lifecycle: new, Open, Push..., Close (after the camera stopped), delete.
class PresentTask : public OS_Thread, public PacketSink {
public:
    // Sleep at the top of each pass: up to 200 pictures a second.
    static constexpr unsigned PASS_SLEEP_MS = 5;

    PresentTask();
    // Closes first when the owner has not.
    ~PresentTask() override;

    // Pictures of width x height in FFmpeg pixel format sourceFormat (rows
    // packed, top row first) go to target (not owned; null: they are taken
    // off the queue and dropped). Starts the thread. Always 0: when the
    // format cannot be converted the thread still runs and drops every
    // picture. GUI thread.
    int Open(GLWidget* target, int width, int height, int sourceFormat);
    // Camera thread: queues the packet, or releases it when 31 are waiting
    // (or the preview is not open). The caller never releases it afterwards.
    // Always 0.
    int Push(MMPacket* packet) override;
    // Ends the thread, releases the converter and every packet still
    // queued. Any state, twice. GUI thread.
    void Close();

    // Pictures handed to the widget / refused by the queue so far.
    int64_t Presented() const { return m_presented.load(); }
    int64_t Refused() { return m_queue.Refused(); }

protected:
    int Run() override;

private:
    PresentTask(const PresentTask&) = delete;
    PresentTask& operator=(const PresentTask&) = delete;

    void Present(const MMPacket& packet);

    GLWidget* m_target;
    PacketQueue m_queue;           // has its own lock
    std::atomic<bool> m_quit;      // set by Close, read by the thread every pass
    std::atomic<bool> m_open;      // Push queues only while set
    int32_t m_width;
    int32_t m_height;
    int32_t m_pictureSize;         // bytes of one source picture; 0: cannot convert
    ImageConverter m_converter;    // preview thread only while it runs
    std::atomic<int64_t> m_presented;
};
