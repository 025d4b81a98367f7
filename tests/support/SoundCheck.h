#pragma once

#include <string>

// Helpers for tests that use the test sound server.

// The device id (GUID text) of a source of the sound server.
std::string SourceGuidText(const std::string& sourceName);

// Points PULSE_SERVER elsewhere for one scope (by default at no server).
class ScopedPulseServer {
public:
    explicit ScopedPulseServer(const std::string& server = "unix:/nonexistent/vidloom-no-server");
    ~ScopedPulseServer();

private:
    bool m_had;
    std::string m_old;
};
