#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture/CameraCapability.h"

class CameraCallback;
struct CameraGraph;

// One opened camera that hands every frame, in the camera's own format and
// straight from its buffer, to a CameraCallback on the camera layer's own
// thread. Made with new, opened once, started and stopped (possibly several
// times), closed and deleted; a size change builds a new one. All operations
// run on the UI thread.
class CameraCapture {
public:
    // FOURCC "YUY2" read as little-endian bytes: compression of YUY2 frames.
    static constexpr uint32_t COMPRESSION_YUY2 = 0x32595559;

    CameraCapture();
    // Closes what is still open.
    ~CameraCapture();

    // Opens the camera with that exact DevicePath and selects the first
    // listed format of width x height; 0, 0 (or a size not offered) keeps the
    // camera's current format. A current format frames cannot be taken in
    // (MJPEG) gives way to the first listed format they can. Fills the format
    // fields. 0, or -1 after logging why (everything taken is released).
    // callback is not owned and must outlive the capture.
    int Open(const std::string& devicePath, CameraCallback* callback, int width, int height);
    // Starts delivery on the camera's thread. 0; -1 when not open or the
    // camera refuses to stream.
    int Start();
    // Ends delivery; when it returns no callback runs any more. 0; -1 when
    // not open.
    int Stop();
    // Stops and releases everything (thread, buffers, descriptor). Safe in
    // any state and twice.
    void Close();

    // Appends the frame sizes in the camera's order, the first format of a
    // size winning; logs "camera support:  WxH" for every listed entry. Does
    // nothing when not open.
    void EnumerateCapabilities(std::vector<CameraCapability>& caps);
    // Reads the opened format into the six format fields and logs it. 0; -1
    // when not open. Open calls it.
    int QueryFormat();
    // The camera's frame rate, rounded; *fps is left alone when the camera
    // reports no frame time. 0; -1 when not open.
    int GetFrameRate(int* fps);
    // Sets brightness, contrast and saturation as percentages 0..99 of their
    // ranges; 0 leaves that control alone. 0 (also without controls); -1
    // when not open.
    int SetPictureQuality(int brightness, int contrast, int saturation);
    // The three controls as percentages of their ranges; an output the
    // camera has no control for is left alone. 0; -1 when not open.
    int GetPictureQuality(int* brightness, int* contrast, int* saturation);

    // The opened format, valid after a successful Open.
    int32_t width;          // pixels
    int32_t height;         // pixels
    int32_t fps;            // 10000000 / time per frame in 100 ns units; 0 when unknown
    int32_t bitCount;       // bits per pixel: 16 for YUY2, 24 or 32 for RGB
    int32_t lineBytes;      // bytes per row
    uint32_t compression;   // 0 for RGB, COMPRESSION_YUY2 for YUY2

private:
    CameraCapture(const CameraCapture&) = delete;
    CameraCapture& operator=(const CameraCapture&) = delete;

    CameraGraph* context;  // the opened device and its delivery; null while closed
};
