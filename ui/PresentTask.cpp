#include "ui/PresentTask.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixfmt.h>
}

#include "os/OS_Clock.h"
#include "os/OS_Log.h"
#include "ui/GLWidget.h"

PresentTask::PresentTask()
    : m_target(nullptr), m_quit(false), m_open(false), m_width(0), m_height(0), m_pictureSize(0),
      m_presented(0) {}

PresentTask::~PresentTask() { Close(); }

int PresentTask::Open(GLWidget* target, int width, int height, int sourceFormat) {
    m_target = target;
    m_width = width;
    m_height = height;
    m_pictureSize = 0;
    if (m_converter.Init(width, height, sourceFormat, AV_PIX_FMT_BGR24) == 0) {
        int size = av_image_get_buffer_size((AVPixelFormat)sourceFormat, width, height, 1);
        m_pictureSize = size > 0 ? size : 0;
    }
    if (m_pictureSize == 0)
        OS_Log::Error("preview cannot convert %dx%d pictures of format %d\n", width, height, sourceFormat);
    m_queue.Init(PacketQueue::ADMIT_PRESENTER);
    m_quit = false;
    m_open = true;
    if (Start() != 0)
        OS_Log::Error("failed to start the preview thread\n");
    return 0;
}

int PresentTask::Push(MMPacket* packet) {
    if (!m_open) {
        packet->Release();
        return 0;
    }
    return m_queue.Push(packet);
}

void PresentTask::Close() {
    m_open = false;
    m_quit = true;
    Join();
    m_converter.Free();
    m_queue.Drain();
}

int PresentTask::Run() {
    OS_Log::Info("PresentTask run.\n");
    while (!m_quit) {
        OS_Sleep(PASS_SLEEP_MS);
        MMPacket packet = m_queue.Pop();
        if (packet.IsEmpty())
            continue;
        Present(packet);
        packet.Release();
    }
    OS_Log::Info("PresentTask exit.\n");
    return 0;
}

void PresentTask::Present(const MMPacket& packet) {
    // A picture shorter than the format says would be read past its end.
    if (!m_target || m_pictureSize == 0 || packet.size < m_pictureSize)
        return;
    const uint8_t* converted = m_converter.Convert(packet.data);
    if (!converted)
        return;
    if (m_target->SetFrame(converted, m_width * m_height * 3, m_width, m_height) == 0)
        ++m_presented;
}
