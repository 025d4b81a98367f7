#include "capture/CameraCapture.h"

#include "capture/CameraCallback.h"
#include "capture/EnumerateCameras.h"
#include "capture/FindCapability.h"
#include "os/OS_Log.h"
#include "platform/CameraDevice.h"
#include "platform/CameraFormat.h"

namespace {

// Hands the layer's frames to the window's callback as they come.
class FrameForwarder : public CameraFrameSink {
public:
    explicit FrameForwarder(CameraCallback* callback) : m_callback(callback) {}
    void OnFrame(double sampleTime, unsigned char* data, long size) override {
        if (m_callback != nullptr)
            m_callback->OnCameraFrame(sampleTime, data, size);
    }

private:
    CameraCallback* m_callback;  // not owned
};

const CameraControl QUALITY_CONTROLS[3] = {CAMERA_BRIGHTNESS, CAMERA_CONTRAST, CAMERA_SATURATION};

}  // namespace

struct CameraGraph {
    explicit CameraGraph(CameraDevice* d, CameraCallback* callback) : device(d), forwarder(callback) {}
    CameraDevice* device;     // owned; opened
    FrameForwarder forwarder;
    bool streaming = false;   // StartStreaming succeeded and StopStreaming not yet called
};

CameraCapture::CameraCapture()
    : width(0), height(0), fps(0), bitCount(0), lineBytes(0), compression(0), context(nullptr) {}

CameraCapture::~CameraCapture() {
    Close();
}

int CameraCapture::Open(const std::string& devicePath, CameraCallback* callback, int w, int h) {
    // Steps: find the device by its path, open it, select the requested size
    // (first listed format of it), fall back to a format frames can be taken
    // in, read the format back.
    if (context != nullptr)
        return -1;
    OS_Log::Info("Camera: opening ... \n");

    CameraDevice* device = FindCameraMoniker(devicePath);
    if (device == nullptr) {
        OS_Log::Error("Camera: Failed to open moniker \n");
        return -1;
    }
    context = new CameraGraph(device, callback);

    if (device->Open(devicePath) != 0) {
        OS_Log::Error("Camera: Failed InitCaptureGraphBuilder \n");
        Close();
        return -1;
    }

    std::vector<CameraMode> modes;
    CameraFormatInfo current;
    if (device->EnumerateModes(modes) != 0 || device->GetFormat(current) != 0) {
        OS_Log::Error("Camera: Failed PIN_CATEGORY_CAPTURE \n");
        Close();
        return -1;
    }

    // the first listed entry of that exact size wins, whatever its format
    if (w != 0 && h != 0) {
        for (const CameraMode& mode : modes) {
            if (mode.width == w && mode.height == h) {
                device->SetFormat(mode.fourcc, mode.width, mode.height);
                break;
            }
        }
    }

    // A format frames cannot be taken in (MJPEG left by another program, or
    // just chosen) would leave the window without pictures.
    if (device->GetFormat(current) == 0 && CameraFormatBitCount(current.fourcc) == 0) {
        for (const CameraMode& mode : modes) {
            if (CameraFormatBitCount(mode.fourcc) != 0) {
                OS_Log::Warning("Camera: current format cannot be taken, using %s %dx%d\n",
                                CameraFormatName(mode.fourcc), mode.width, mode.height);
                device->SetFormat(mode.fourcc, mode.width, mode.height);
                break;
            }
        }
    }

    if (QueryFormat() != 0) {
        Close();
        return -1;
    }
    return 0;
}

int CameraCapture::Start() {
    if (context == nullptr)
        return -1;
    if (context->streaming)
        return 0;
    if (context->device->StartStreaming(&context->forwarder) != 0)
        return -1;
    context->streaming = true;
    return 0;
}

int CameraCapture::Stop() {
    if (context == nullptr)
        return -1;
    if (context->streaming)
        context->device->StopStreaming();
    context->streaming = false;
    return 0;
}

void CameraCapture::Close() {
    if (context == nullptr)
        return;
    Stop();
    context->device->Close();
    delete context->device;
    delete context;
    context = nullptr;
}

void CameraCapture::EnumerateCapabilities(std::vector<CameraCapability>& caps) {
    if (context == nullptr)
        return;
    std::vector<CameraMode> modes;
    if (context->device->EnumerateModes(modes) != 0)
        return;
    for (const CameraMode& mode : modes) {
        if (mode.width <= 0 || mode.height <= 0)
            continue;
        CameraCapability cap;
        cap.width = mode.width;
        cap.height = mode.height;
        cap.format = CameraFormatName(mode.fourcc);
        OS_Log::Info("camera support:  %dx%d\n", cap.width, cap.height);
        // the first entry of a size wins, and with it its format
        if (FindCapability(caps, cap.width, cap.height) == -1)
            caps.push_back(cap);
    }
}

int CameraCapture::QueryFormat() {
    if (context == nullptr)
        return -1;
    CameraFormatInfo format;
    if (context->device->GetFormat(format) != 0)
        return -1;
    width = format.width;
    height = format.height;
    bitCount = CameraFormatBitCount(format.fourcc);
    // a camera that reports no height or no frame time gives 0, not a crash
    lineBytes = LineBytesOf(format.imageSize, format.height);
    compression = CameraFormatCompression(format.fourcc);
    fps = FpsOfTimePerFrame(format.timePerFrame);
    OS_Log::Info("Camera: (%dx%d) ,bpp=%d, nCompression=%d , nFps=%d  \n", width, height, bitCount,
                 int(compression), fps);
    return 0;
}

int CameraCapture::GetFrameRate(int* rate) {
    if (context == nullptr)
        return -1;
    CameraFormatInfo format;
    if (context->device->GetFormat(format) != 0)
        return 0;
    if (RoundedFpsOfTimePerFrame(format.timePerFrame, *rate) != 0)
        return 0;
    OS_Log::Debug("Get AvgTimePerFrame: %d \n", int(format.timePerFrame));
    return 0;
}

int CameraCapture::SetPictureQuality(int brightnessPercent, int contrastPercent, int saturationPercent) {
    if (context == nullptr)
        return -1;
    const int percents[3] = {brightnessPercent, contrastPercent, saturationPercent};
    for (int i = 0; i < 3; ++i) {
        // 0 leaves the control as it is
        if (percents[i] <= 0)
            continue;
        int minimum = 0, maximum = 0, value = 0;
        if (context->device->QueryControl(QUALITY_CONTROLS[i], minimum, maximum) != 0)
            continue;
        if (context->device->GetControl(QUALITY_CONTROLS[i], value) != 0)
            continue;
        context->device->SetControl(QUALITY_CONTROLS[i], ControlFromPercent(minimum, maximum, percents[i]));
    }
    return 0;
}

int CameraCapture::GetPictureQuality(int* brightnessPercent, int* contrastPercent, int* saturationPercent) {
    if (context == nullptr)
        return -1;
    int* outputs[3] = {brightnessPercent, contrastPercent, saturationPercent};
    for (int i = 0; i < 3; ++i) {
        int minimum = 0, maximum = 0, value = 0;
        if (outputs[i] == nullptr || context->device->QueryControl(QUALITY_CONTROLS[i], minimum, maximum) != 0)
            continue;
        if (context->device->GetControl(QUALITY_CONTROLS[i], value) != 0)
            continue;
        // an empty range has no percentage: the output stays as it was
        ControlToPercent(minimum, maximum, value, *outputs[i]);
        context->device->SetControl(QUALITY_CONTROLS[i], value);
    }
    return 0;
}
