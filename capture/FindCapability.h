#pragma once

#include <vector>

#include "capture/CameraCapability.h"

// Index of the first record with that width and height, or -1.
int FindCapability(const std::vector<CameraCapability>& caps, int width, int height);
