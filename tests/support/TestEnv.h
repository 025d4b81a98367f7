#pragma once

#include <gtest/gtest.h>

#include <string>

// Tests that need the private X or PulseAudio server started by
// scripts/with-test-servers.sh. Outside it they skip, inside it (where
// VIDLOOM_REQUIRE_SERVERS=1) a missing server is a failure.
bool TestHasDisplay();
bool TestHasPulse();
bool TestServersRequired();

#define REQUIRE_DISPLAY()                                                        \
    do {                                                                         \
        if (!TestHasDisplay()) {                                                 \
            if (TestServersRequired()) FAIL() << "no X server (DISPLAY unset)";  \
            GTEST_SKIP() << "no X server: run under scripts/with-test-servers.sh"; \
        }                                                                        \
    } while (0)

#define REQUIRE_PULSE()                                                           \
    do {                                                                          \
        if (!TestHasPulse()) {                                                    \
            if (TestServersRequired()) FAIL() << "no PulseAudio server";          \
            GTEST_SKIP() << "no PulseAudio: run under scripts/with-test-servers.sh"; \
        }                                                                         \
    } while (0)

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_path; }
    // Path of a file inside the folder.
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Whole content of a file ("" when it cannot be read).
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
// Runs a shell command; its standard output, and its exit status in *status.
std::string RunCommand(const std::string& command, int* status = nullptr);

// Open file descriptors and threads of this process (/proc/self/fd and
// /proc/self/task), to check that a component leaves none behind.
int CountOpenFds();
int CountThreads();
