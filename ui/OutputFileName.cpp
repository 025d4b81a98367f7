#include "ui/OutputFileName.h"

#include <cstdio>

std::string MakeOutputFileName(const std::string& prefix, time_t when) {
    struct tm local;
    localtime_r(&when, &local);
    char stamp[64];
    snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    char name[256];
    snprintf(name, sizeof name, "%s%s.mp4", prefix.c_str(), stamp);
    return name;
}
