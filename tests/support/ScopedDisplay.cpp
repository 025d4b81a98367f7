#include "tests/support/ScopedDisplay.h"

#include <cstdlib>

ScopedDisplay::ScopedDisplay(const std::string& display) {
    const char* old = getenv("DISPLAY");
    m_hadValue = old != nullptr;
    m_saved = old ? old : "";
    setenv("DISPLAY", display.c_str(), 1);
}

ScopedDisplay::~ScopedDisplay() {
    if (m_hadValue)
        setenv("DISPLAY", m_saved.c_str(), 1);
    else
        unsetenv("DISPLAY");
}
