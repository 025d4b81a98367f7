#include "platform/v4l2/V4l2FrameSizes.h"

namespace {

// Sizes cameras and their users commonly pick, smallest first.
const std::pair<int, int> COMMON_SIZES[] = {
    {160, 120},  {176, 144},  {320, 240},  {352, 288},   {640, 360},   {640, 480},
    {800, 600},  {960, 540},  {1024, 768}, {1280, 720},  {1280, 960},  {1600, 1200},
    {1920, 1080}, {2560, 1440}, {3840, 2160},
};

bool OnStep(int value, int minimum, int maximum, int step) {
    if (value < minimum || value > maximum)
        return false;
    return step <= 1 || (value - minimum) % step == 0;
}

}  // namespace

void ListSteppedSizes(int minWidth, int maxWidth, int stepWidth, int minHeight, int maxHeight,
                      int stepHeight, std::vector<std::pair<int, int>>& sizes) {
    for (const auto& size : COMMON_SIZES) {
        if (OnStep(size.first, minWidth, maxWidth, stepWidth) &&
            OnStep(size.second, minHeight, maxHeight, stepHeight))
            sizes.push_back(size);
    }
}
