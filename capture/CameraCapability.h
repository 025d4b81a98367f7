#pragma once

#include <string>

// One frame size a camera offers. Plain record, kept by value.
struct CameraCapability {
    std::string format;  // "YUY2", "RGB24", "RGB32", or empty for a format we cannot take
    int width = 0;       // pixels
    int height = 0;      // pixels
};
