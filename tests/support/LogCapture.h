#pragma once

#include <string>

// Collects what the process-wide log prints, from every thread, so a test
// can check the system's own messages. Opens the log (no file, level 4) on
// first use and silences its echo.
class LogCapture {
public:
    LogCapture();   // starts collecting afresh
    ~LogCapture();  // stops collecting

    std::string Text() const;
    bool Contains(const std::string& text) const;
    // How often text occurs.
    int Count(const std::string& text) const;
    void Clear();
};
