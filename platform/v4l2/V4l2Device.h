#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "os/OS_Thread.h"
#include "platform/CameraDevice.h"

// A camera of the kernel (V4L2): single-planar video capture with
// memory-mapped streaming. The streaming thread waits on the descriptor with
// a timeout, hands each filled buffer to the sink in place and queues it
// again; ENODEV or EIO mean the camera was unplugged.
class V4l2Device : public CameraDevice, private OS_Thread {
public:
    // Appends the capture devices under /dev in node order. 0, or -1 when
    // /dev cannot be read.
    static int Enumerate(std::vector<CameraDeviceInfo>& cameras);

    V4l2Device();
    ~V4l2Device() override;

    int Open(const std::string& path) override;
    void Close() override;
    int EnumerateModes(std::vector<CameraMode>& modes) override;
    int GetFormat(CameraFormatInfo& format) override;
    int SetFormat(uint32_t fourcc, int width, int height) override;
    int StartStreaming(CameraFrameSink* sink) override;
    void StopStreaming() override;
    int QueryControl(CameraControl control, int& minimum, int& maximum) override;
    int GetControl(CameraControl control, int& value) override;
    int SetControl(CameraControl control, int value) override;

private:
    // How many buffers the driver fills in turn.
    static constexpr int BUFFER_COUNT = 4;

    struct Buffer {
        void* start = nullptr;  // mapping; null when not mapped
        size_t length = 0;
    };

    int Run() override;
    // Unmaps the buffers and gives them back to the driver.
    void FreeBuffers();
    // Logs the failed ioctl with the reason once; -1.
    int Fail(const char* operation) const;

    int m_fd;                      // -1 when closed
    std::string m_path;
    std::vector<Buffer> m_buffers; // mapped while streaming
    bool m_streaming;              // thread started, not yet joined
    std::atomic<bool> m_quit;      // set by StopStreaming, read by the thread
    CameraFrameSink* m_sink;       // not owned; read by the thread while streaming
    int64_t m_startNs;             // monotonic time of STREAMON
};
