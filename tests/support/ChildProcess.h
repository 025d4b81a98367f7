#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A second copy of the running test program, started with its own
// arguments, for tests that need another process (another X client, another
// copy holding a guard). Its standard input and output are pipes to us.
class ChildProcess {
public:
    ChildProcess();
    ~ChildProcess();  // closes its input and reaps it (killing it if needed)

    // Runs /proc/self/exe with args. 0, or -1 when it could not be started.
    int Start(const std::vector<std::string>& args);
    // The next line it writes, without the line feed; "" at end of output or
    // after timeoutMs without a full line.
    std::string ReadLine(int timeoutMs = 10000);
    // Closes its standard input: a child waiting for end of input then ends.
    void CloseInput();
    // Sends sig and waits for the end. Exit status, 128 + signal, or -1.
    int Kill(int sig);
    // Waits for the end. Exit status, 128 + signal, or -1.
    int Wait();

private:
    pid_t m_pid;
    int m_in;
    int m_out;
    std::string m_buffer;
};

// For the child side: blocks until standard input reaches its end.
void WaitForEndOfInput();
