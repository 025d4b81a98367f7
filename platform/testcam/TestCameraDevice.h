#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "os/OS_Thread.h"
#include "platform/CameraDevice.h"

// The synthetic test camera: listed only when VIDLOOM_TEST_CAMERA=1. Offers
// 640x480 YUY2, 640x480 RGB24, 320x240 RGB24 and 1280x720 MJPG (listed, never
// streamed), in that order, at 30 frames per second paced by the monotonic
// clock on its own thread, with the picture of TestCameraPattern.h and
// brightness -64..64 (0), contrast 0..255 (128), saturation 0..100 (50).
// Like a driver, it keeps its format and controls between opens, for the
// whole process.
class TestCameraDevice : public CameraDevice, private OS_Thread {
public:
    static const char* const PATH;  // its DevicePath
    static const char* const NAME;  // its FriendlyName
    static constexpr int64_t TIME_PER_FRAME = 333333;  // 100 ns units: 30 frames per second

    // Whether VIDLOOM_TEST_CAMERA=1 asks for it.
    static bool Enabled();
    // Unplugs (true) or plugs the camera back in: unplugged, it is not
    // listed, cannot be opened, and a running stream ends after logging one
    // line. VIDLOOM_TEST_CAMERA_VANISH_AFTER=N unplugs it after N frames of a
    // stream. Any thread.
    static void SetUnplugged(bool unplugged);
    static bool Unplugged();
    // Plugs the camera in and restores its first format and default controls.
    static void Reset();
    // CPU seconds all streams spent drawing pictures, so measurements of the
    // delivery can leave the picture generator out.
    static double GeneratorCpuSeconds();

    TestCameraDevice();
    ~TestCameraDevice() override;

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
    int Run() override;
    // false after logging when the camera was unplugged.
    bool Present(const char* operation) const;

    bool m_open;
    bool m_streaming;                 // thread started, not yet joined
    std::atomic<bool> m_quit;         // set by StopStreaming, read by the thread
    CameraFrameSink* m_sink;          // not owned; read by the thread while streaming
    std::vector<unsigned char> m_buffer;  // the frame buffer, sized at StartStreaming
    CameraFormatInfo m_format;        // the streamed format, fixed while streaming
    int64_t m_vanishAfter;            // frames until unplugging; -1: never
};
