#include "tests/support/SoundCheck.h"

#include <cmath>
#include <mutex>
#include <vector>

#include "capture/GUID.h"
#include "os/OS_Log.h"

namespace {

std::mutex g_logMutex;
std::vector<std::string> g_logLines;

int CatchLine(int, const char* text) {
    std::lock_guard<std::mutex> guard(g_logMutex);
    g_logLines.push_back(text);
    return 0;
}

}  // namespace

LogCatcher::LogCatcher() {
    OS_Log::Global().Open(nullptr);
    OS_Log::Global().SetEcho(false);
    std::lock_guard<std::mutex> guard(g_logMutex);
    g_logLines.clear();
    OS_Log::Global().SetCallback(&CatchLine);
}

LogCatcher::~LogCatcher() {
    OS_Log::Global().SetCallback(nullptr);
    OS_Log::Global().SetEcho(true);
}

bool LogCatcher::Has(const std::string& text) const {
    std::lock_guard<std::mutex> guard(g_logMutex);
    for (const std::string& line : g_logLines) {
        if (line == text)
            return true;
    }
    return false;
}

bool LogCatcher::HasPart(const std::string& part) const {
    std::lock_guard<std::mutex> guard(g_logMutex);
    for (const std::string& line : g_logLines) {
        if (line.find(part) != std::string::npos)
            return true;
    }
    return false;
}

std::string LogCatcher::All() const {
    std::lock_guard<std::mutex> guard(g_logMutex);
    std::string all;
    for (const std::string& line : g_logLines)
        all += line;
    return all;
}

int CountSineBreaks(const int16_t* samples, size_t count, int stride, double frequency,
                    int sampleRate, double tolerance) {
    const double k = 2.0 * cos(2.0 * M_PI * frequency / sampleRate);
    int breaks = 0;
    for (size_t n = (size_t)stride; n + (size_t)stride < count; n += (size_t)stride) {
        double residual = samples[n - stride] + samples[n + stride] - k * samples[n];
        if (fabs(residual) > tolerance)
            ++breaks;
    }
    return breaks;
}

double ToneFrequency(const int16_t* samples, size_t count, int stride, int sampleRate) {
    long first = -1;
    long last = -1;
    int crossings = 0;
    for (size_t n = (size_t)stride; n < count; n += (size_t)stride) {
        if (samples[n - stride] < 0 && samples[n] >= 0) {
            if (first < 0)
                first = (long)(n / stride);
            else
                ++crossings;
            last = (long)(n / stride);
        }
    }
    if (crossings == 0)
        return 0.0;
    return crossings * (double)sampleRate / (double)(last - first);
}

std::string SourceGuidText(const std::string& sourceName) {
    GUID guid;
    GuidFromSourceName(sourceName, guid);
    std::string text;
    GuidToString(guid, text);
    return text;
}
