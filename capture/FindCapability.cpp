#include "capture/FindCapability.h"

int FindCapability(const std::vector<CameraCapability>& caps, int width, int height) {
    for (size_t i = 0; i < caps.size(); ++i) {
        if (caps[i].width == width && caps[i].height == height)
            return int(i);
    }
    return -1;
}
