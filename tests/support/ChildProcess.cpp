#include "tests/support/ChildProcess.h"

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

ChildProcess::ChildProcess() : m_pid(-1), m_in(-1), m_out(-1) {}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        CloseInput();
        Kill(SIGKILL);
    }
    if (m_out >= 0)
        close(m_out);
}

int ChildProcess::Start(const std::vector<std::string>& args) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0)
        return -1;
    if (pipe(fromChild) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return -1;
    }
    std::vector<char*> argv;
    std::string self = "/proc/self/exe";
    argv.push_back(&self[0]);
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        close(toChild[0]);
        close(toChild[1]);
        close(fromChild[0]);
        close(fromChild[1]);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    if (pid < 0) {
        close(toChild[1]);
        close(fromChild[0]);
        return -1;
    }
    m_pid = pid;
    m_in = toChild[1];
    m_out = fromChild[0];
    return 0;
}

std::string ChildProcess::ReadLine(int timeoutMs) {
    for (;;) {
        size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return line;
        }
        if (m_out < 0)
            return std::string();
        struct pollfd p = {m_out, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return std::string();
        char chunk[256];
        ssize_t n = read(m_out, chunk, sizeof chunk);
        if (n <= 0)
            return std::string();
        m_buffer.append(chunk, (size_t)n);
    }
}

void ChildProcess::CloseInput() {
    if (m_in >= 0) {
        close(m_in);
        m_in = -1;
    }
}

int ChildProcess::Kill(int sig) {
    if (m_pid > 0)
        kill(m_pid, sig);
    return Wait();
}

int ChildProcess::Wait() {
    if (m_pid <= 0)
        return -1;
    int status = 0;
    pid_t done = waitpid(m_pid, &status, 0);
    m_pid = -1;
    CloseInput();
    if (done < 0)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

void WaitForEndOfInput() {
    char c;
    while (read(0, &c, 1) > 0) {
    }
}
