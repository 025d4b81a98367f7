#include "tests/support/LogCapture.h"

#include <mutex>

#include "os/OS_Log.h"

namespace {

std::mutex g_mutex;
std::string g_text;  // guarded by g_mutex

int Collect(int, const char* text) {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_text += text;
    return 0;
}

}  // namespace

LogCapture::LogCapture() {
    static bool opened = false;
    if (!opened) {
        OS_Log::Global().Open(nullptr);
        opened = true;
    }
    OS_Log::Global().SetEcho(false);
    Clear();
    OS_Log::Global().SetCallback(&Collect);
}

LogCapture::~LogCapture() {
    OS_Log::Global().SetCallback(nullptr);
    OS_Log::Global().SetEcho(true);
}

std::string LogCapture::Text() const {
    std::lock_guard<std::mutex> guard(g_mutex);
    return g_text;
}

bool LogCapture::Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }

int LogCapture::Count(const std::string& text) const {
    std::string all = Text();
    int n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
        ++n;
    return n;
}

void LogCapture::Clear() {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_text.clear();
}
