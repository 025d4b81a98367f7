#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// Tests that need the private X or PulseAudio server started by
// scripts/with-test-servers.sh. Outside it they skip, inside it (where
// VIDLOOM_REQUIRE_SERVERS=1) a missing server is a failure.
bool TestHasDisplay();
bool TestHasPulse();
bool TestServersRequired();

#define REQUIRE_SERVER(present, what)                                             \
    do {                                                                          \
        if (!(present)) {                                                         \
            if (TestServersRequired()) FAIL() << "no " what;                      \
            GTEST_SKIP() << "no " what ": run under scripts/with-test-servers.sh"; \
        }                                                                         \
    } while (0)
#define REQUIRE_DISPLAY() REQUIRE_SERVER(TestHasDisplay(), "X server")
#define REQUIRE_PULSE() REQUIRE_SERVER(TestHasPulse(), "PulseAudio server")

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

// Sets an environment variable for one scope (the grabbers connect to
// $DISPLAY, the sound code to $PULSE_SERVER).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value)
        : m_name(name), m_had(getenv(name) != nullptr), m_old(m_had ? getenv(name) : "") {
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { m_had ? setenv(m_name, m_old.c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    bool m_had;
    std::string m_old;
};
