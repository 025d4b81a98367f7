#pragma once

#include <string>

// Collects what the process-wide log prints, from every thread, while it
// lives (one at a time). Opens the log (no file, level 4) on first use and
// silences its echo.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();

    std::string Text() const;
    bool Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }
};
