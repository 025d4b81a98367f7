#include "tests/support/ChildProcess.h"

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

int ChildProcess::Start(const std::vector<std::string>& args, const char* program) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0)
        return -1;
    if (pipe(fromChild) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return -1;
    }
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]})
            close(fd);
        execvp(program, argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    m_in = toChild[1];
    m_out = fromChild[0];
    return m_pid > 0 ? 0 : -1;
}

std::string ChildProcess::ReadLine() {
    size_t end;
    while ((end = m_buffer.find('\n')) == std::string::npos) {
        struct pollfd p = {m_out, POLLIN, 0};
        char chunk[256];
        ssize_t n = poll(&p, 1, 10000) > 0 ? read(m_out, chunk, sizeof chunk) : 0;
        if (n <= 0)
            return std::string();
        m_buffer.append(chunk, (size_t)n);
    }
    std::string line = m_buffer.substr(0, end);
    m_buffer.erase(0, end + 1);
    return line;
}

int ChildProcess::Kill(int sig) {
    // The signal first: at the end of its input the child ends normally.
    if (m_pid > 0 && sig)
        kill(m_pid, sig);
    for (int fd : {m_in, m_out})
        if (fd >= 0)
            close(fd);
    int status = 0;
    bool ended = m_pid > 0 && waitpid(m_pid, &status, 0) == m_pid;
    m_pid = m_in = m_out = -1;
    if (!ended)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int SayAndWaitForEndOfInput(const char* line) {
    printf("%s\n", line);
    fflush(stdout);
    char c;
    while (read(0, &c, 1) > 0) {
    }
    return 0;
}
