#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

// Another process: a second copy of the running test program (another X
// client, another copy holding a guard) or another program. Its standard
// input and output are pipes to us.
class ChildProcess {
public:
    ~ChildProcess() { Kill(SIGKILL); }

    // Runs program (found on $PATH) with args. 0, or -1 when it could not be started.
    int Start(const std::vector<std::string>& args, const char* program = "/proc/self/exe");
    // Its next line without the line feed; "" at its end or after 10 s.
    std::string ReadLine();
    // Start, then its first line ("not started" when it could not start).
    std::string StartAndReadLine(const std::vector<std::string>& args) {
        return Start(args) == 0 ? ReadLine() : "not started";
    }
    // Closes its input (see SayAndWaitForEndOfInput) and waits for its exit status.
    int Stop() { return Kill(0); }
    // The same after sending sig: exit status, 128 + signal, or -1.
    int Kill(int sig);
    int pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

// For the child side: writes line to standard output, then blocks until standard input reaches its
// end (see Stop). 0.
int SayAndWaitForEndOfInput(const char* line);
