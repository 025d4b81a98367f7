#pragma once

#include <cstdlib>
#include <string>

// Sets $DISPLAY for one scope (the grabbers connect to $DISPLAY).
class ScopedDisplay {
public:
    explicit ScopedDisplay(const std::string& display) : m_had(getenv("DISPLAY") != nullptr) {
        m_saved = m_had ? getenv("DISPLAY") : "";
        setenv("DISPLAY", display.c_str(), 1);
    }
    ~ScopedDisplay() { m_had ? setenv("DISPLAY", m_saved.c_str(), 1) : unsetenv("DISPLAY"); }

private:
    bool m_had;
    std::string m_saved;
};
