#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A second copy of the running test program, for tests that need another
// process (another X client, another copy holding a guard). It writes its
// answers to a pipe and runs until its input (another pipe) ends.
class ChildProcess {
public:
    ~ChildProcess() { Kill(9); }

    // Runs /proc/self/exe with args. 0, or -1 when it could not be started.
    int Start(const std::vector<std::string>& args);
    // The next line it writes, without the line feed; "" at its end or
    // after 10 s without a full line.
    std::string ReadLine();
    // Ends its input, so that it ends normally, and waits for it: exit status.
    int Stop() { return Kill(0); }
    // Sends sig (none for 0) and waits for the end: exit status, 128 + signal, or -1.
    int Kill(int sig);

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

// For the child side: blocks until standard input reaches its end.
void WaitForEndOfInput();
