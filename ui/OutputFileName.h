#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// "<prefix>YYYYMMDDhhmmss.mp4" from the local time `when`, e.g.
// "output/屏幕录像-20150308140509.mp4". Two starts in one second give the
// same name.
std::string MakeOutputFileName(const std::string& prefix, time_t when);
