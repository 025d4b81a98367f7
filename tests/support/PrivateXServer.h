#pragma once

#include <string>

#include "tests/support/ChildProcess.h"

// A second X server of its own (Xvfb), for screens the shared test server
// does not have: another depth, a larger size. Stopped when destroyed.
class PrivateXServer {
public:
    ~PrivateXServer() { m_xvfb.Kill(SIGTERM); }
    // Starts Xvfb with one screen of geometry, like "3840x2160x24". False
    // when it does not come up.
    bool Start(const std::string& geometry);
    // ":N"
    const std::string& display() const { return m_display; }
    // The server's process id (its CPU time is read from /proc).
    int pid() const { return m_xvfb.pid(); }

private:
    ChildProcess m_xvfb;
    std::string m_display;
};
