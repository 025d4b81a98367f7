#pragma once

#include <cstdlib>
#include <string>

#include "capture/GUID.h"

// Helpers for tests that use the test sound server.

// The device id (GUID text) of a source of the sound server.
inline std::string SourceGuidText(const std::string& sourceName) {
    GUID guid;
    GuidFromSourceName(sourceName, guid);
    std::string text;
    GuidToString(guid, text);
    return text;
}

// Points PULSE_SERVER elsewhere for one scope (by default at no server).
class ScopedPulseServer {
public:
    explicit ScopedPulseServer(const std::string& server = "unix:/nonexistent/vidloom-no-server")
        : m_had(getenv("PULSE_SERVER") != nullptr), m_old(m_had ? getenv("PULSE_SERVER") : "") {
        setenv("PULSE_SERVER", server.c_str(), 1);
    }
    ~ScopedPulseServer() {
        if (m_had)
            setenv("PULSE_SERVER", m_old.c_str(), 1);
        else
            unsetenv("PULSE_SERVER");
    }

private:
    bool m_had;
    std::string m_old;
};
