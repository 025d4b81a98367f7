#pragma once

#include <string>

// Sets $DISPLAY for one scope (the grabbers connect to $DISPLAY).
class ScopedDisplay {
public:
    explicit ScopedDisplay(const std::string& display);
    ~ScopedDisplay();

private:
    std::string m_saved;
    bool m_hadValue;
};
