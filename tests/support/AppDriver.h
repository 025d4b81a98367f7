#pragma once

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// Runs the real vidloom executable as a user would, for end-to-end tests:
// copies it with the files it reads into a folder of its own (so output/,
// the log and the settings are the test's), starts it on the test's X
// server, and drives it with xdotool (clicks, global keys). The program reads
// Chinese (LANGUAGE=zh_CN) unless SetEnv says otherwise.
class AppDriver {
public:
    AppDriver();
    // Kills the program if it still runs.
    ~AppDriver();

    // Copies vidloom and its files (found beside the test program) into dir;
    // creates dir/output when withOutput. 0 or -1.
    int Install(const std::string& dir, bool withOutput = true);
    // Runs exe (an installed program) instead, with stdout.log in dir and
    // its recordings looked for in outputDir.
    void UseInstalled(const std::string& exe, const std::string& dir, const std::string& outputDir);
    // An environment variable for the program, set at Launch.
    void SetEnv(const std::string& name, const std::string& value);
    // Starts the installed program; its standard output and error go to
    // dir/stdout.log. Working directory is "/" so that it must find its own
    // folder. 0 or -1.
    int Launch();
    // Id of a visible window whose name matches the regular expression, or
    // "" after timeoutMs.
    std::string WaitWindow(const std::string& nameRegex, int timeoutMs) const;
    // True while a visible window with that name exists.
    bool HasWindow(const std::string& nameRegex) const;
    // Clicks at (x, y) inside the window.
    void Click(const std::string& window, int x, int y) const;
    // Presses keys (xdotool names, e.g. "F3") through XTEST, which also
    // reaches global key grabs.
    void Key(const std::string& keys) const;
    // Window size and position; false when it is gone.
    bool Geometry(const std::string& window, int* x, int* y, int* width, int* height) const;
    // Waits for the program to end: 0 with its exit code in *exitCode (the
    // signal number + 128 when killed), -1 on time-out.
    int WaitExit(int timeoutMs, int* exitCode);
    void Kill(int signal);

    pid_t Pid() const { return m_pid; }
    const std::string& Dir() const { return m_dir; }
    // Files in dir/output (or the installed program's outputDir), sorted.
    std::string OutputFiles() const;
    std::string Log() const;

private:
    std::string m_dir;
    std::string m_exe;
    std::string m_outputDir;
    std::vector<std::pair<std::string, std::string>> m_env;
    pid_t m_pid;
};
