#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The camera layer: one interface over the kernel's cameras (V4L2) and the
// synthetic test camera. Pixel formats are FOURCC codes (CameraFormat.h).
// Every operation runs on the owner's thread (the UI thread) except the sink,
// which runs on the layer's streaming thread.

// One camera of the system: the path opens it.
struct CameraDeviceInfo {
    std::string path;     // /dev/v4l/by-id/... where it exists, else /dev/videoN
    std::string card;     // the name to show
    std::string busInfo;  // where it hangs, may be empty
};

// One format and frame size the camera lists, in the camera's order.
struct CameraMode {
    uint32_t fourcc = 0;
    int width = 0;
    int height = 0;
};

// The format the camera is set to.
struct CameraFormatInfo {
    uint32_t fourcc = 0;
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;
    int imageSize = 0;         // bytes of one frame
    int64_t timePerFrame = 0;  // 100 ns units, 0 when the camera does not say
};

// The picture controls, numbered as the video processing amplifier numbers them.
enum CameraControl { CAMERA_BRIGHTNESS = 0, CAMERA_CONTRAST = 1, CAMERA_SATURATION = 3 };

// Receives the frames while the camera streams.
class CameraFrameSink {
public:
    // One frame straight from the camera's buffer, valid during the call;
    // sampleTime in seconds since streaming started. Called on the layer's
    // streaming thread, never after StopStreaming has returned.
    virtual void OnFrame(double sampleTime, unsigned char* data, long size) = 0;

protected:
    ~CameraFrameSink() = default;
};

// One camera. Results are 0, or -1 after the backend logged the reason once.
class CameraDevice {
public:
    virtual ~CameraDevice() = default;

    // Opens the camera at path. -1 when it is gone or is no camera.
    virtual int Open(const std::string& path) = 0;
    // Stops streaming and releases everything; safe in any state and twice.
    virtual void Close() = 0;

    // Appends the formats and sizes in the camera's order.
    virtual int EnumerateModes(std::vector<CameraMode>& modes) = 0;
    // The current format (the camera keeps it between opens, as a driver does).
    virtual int GetFormat(CameraFormatInfo& format) = 0;
    // Sets the format and size; the camera may pick a nearby size.
    virtual int SetFormat(uint32_t fourcc, int width, int height) = 0;

    // Starts the streaming thread, which hands each frame to sink (not
    // owned) until StopStreaming, or until the camera vanishes (one line is
    // logged and delivery ends).
    virtual int StartStreaming(CameraFrameSink* sink) = 0;
    // Ends the thread and releases the buffers; no frame reaches the sink
    // once it returns. Returns promptly also on a vanished camera.
    virtual void StopStreaming() = 0;

    // The control's range; -1 when the camera has no such control.
    virtual int QueryControl(CameraControl control, int& minimum, int& maximum) = 0;
    virtual int GetControl(CameraControl control, int& value) = 0;
    virtual int SetControl(CameraControl control, int value) = 0;
};

// Appends the cameras of both backends (the test camera first, when
// VIDLOOM_TEST_CAMERA=1). 0, or -1 when the device folder cannot be read.
int EnumerateCameraDevices(std::vector<CameraDeviceInfo>& cameras);
// A device object of the backend that serves path, not opened. The caller owns it.
CameraDevice* CreateCameraDevice(const std::string& path);
