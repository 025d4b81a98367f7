#include "capture/EnumerateCameras.h"

#include "platform/CameraDevice.h"

int EnumerateCameras(std::vector<CameraInfo>& cameras) {
    std::vector<CameraDeviceInfo> devices;
    if (EnumerateCameraDevices(devices) != 0)
        return -1;
    for (const CameraDeviceInfo& device : devices) {
        CameraInfo info;
        info.FriendlyName = device.card;
        info.Description = device.busInfo;
        info.DevicePath = device.path;
        cameras.push_back(info);
    }
    return 0;
}

CameraDevice* FindCameraMoniker(const std::string& devicePath) {
    std::vector<CameraDeviceInfo> devices;
    EnumerateCameraDevices(devices);
    for (const CameraDeviceInfo& device : devices) {
        if (device.path == devicePath)
            return CreateCameraDevice(device.path);
    }
    return nullptr;
}
