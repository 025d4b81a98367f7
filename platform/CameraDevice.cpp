#include "platform/CameraDevice.h"

#include "platform/testcam/TestCameraDevice.h"
#include "platform/v4l2/V4l2Device.h"

int EnumerateCameraDevices(std::vector<CameraDeviceInfo>& cameras) {
    // an unplugged test camera is not listed, as a real one would not be
    if (TestCameraDevice::Enabled() && !TestCameraDevice::Unplugged()) {
        CameraDeviceInfo info;
        info.path = TestCameraDevice::PATH;
        info.card = TestCameraDevice::NAME;
        info.busInfo = "virtual";
        cameras.push_back(info);
    }
    return V4l2Device::Enumerate(cameras);
}

CameraDevice* CreateCameraDevice(const std::string& path) {
    if (path == TestCameraDevice::PATH)
        return new TestCameraDevice();
    return new V4l2Device();
}
