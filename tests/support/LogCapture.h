#pragma once

#include <mutex>
#include <string>

#include "os/OS_Log.h"

// Collects what the process-wide log prints, from every thread, while it lives (one at a time).
class LogCapture {
public:
    LogCapture() {
        static int opened = OS_Log::Global().Open(nullptr);
        (void)opened;
        OS_Log::Global().SetEcho(false);
        std::lock_guard<std::mutex> guard(s_mutex);
        s_text.clear();
        OS_Log::Global().SetCallback(&Collect);
    }
    ~LogCapture() {
        OS_Log::Global().SetCallback(nullptr);
        OS_Log::Global().SetEcho(true);
    }

    bool Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }
    std::string Text() const {
        std::lock_guard<std::mutex> guard(s_mutex);
        return s_text;
    }

private:
    static int Collect(int, const char* text) {
        std::lock_guard<std::mutex> guard(s_mutex);
        s_text += text;
        return 0;
    }

    static inline std::mutex s_mutex;
    static inline std::string s_text;  // guarded by s_mutex
};
