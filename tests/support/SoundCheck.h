#pragma once

#include <string>

#include "capture/GUID.h"
#include "tests/support/TestEnv.h"

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
struct ScopedPulseServer : ScopedEnv {
    explicit ScopedPulseServer(const std::string& server = "unix:/nonexistent/vidloom-no-server")
        : ScopedEnv("PULSE_SERVER", server) {}
};
