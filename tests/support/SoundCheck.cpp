#include "tests/support/SoundCheck.h"

#include <cstdlib>

#include "capture/GUID.h"

std::string SourceGuidText(const std::string& sourceName) {
    GUID guid;
    GuidFromSourceName(sourceName, guid);
    std::string text;
    GuidToString(guid, text);
    return text;
}

ScopedPulseServer::ScopedPulseServer(const std::string& server) {
    const char* old = getenv("PULSE_SERVER");
    m_had = old != nullptr;
    m_old = old ? old : "";
    setenv("PULSE_SERVER", server.c_str(), 1);
}

ScopedPulseServer::~ScopedPulseServer() {
    if (m_had)
        setenv("PULSE_SERVER", m_old.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}
