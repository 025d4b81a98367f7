#pragma once

#include <string>

// One camera as the system lists it. Plain record, kept by value.
struct CameraInfo {
    std::string FriendlyName;  // the name shown to the user (UTF-8)
    std::string Description;   // where it hangs (bus), may be empty
    std::string DevicePath;    // the key that identifies the camera
};
