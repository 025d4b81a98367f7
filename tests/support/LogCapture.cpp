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
    static int opened = OS_Log::Global().Open(nullptr);
    (void)opened;
    OS_Log::Global().SetEcho(false);
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        g_text.clear();
    }
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
