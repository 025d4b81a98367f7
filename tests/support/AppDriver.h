#pragma once

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// Runs the real vidloom executable as a user would, for end-to-end tests: a
// copy in a folder of its own (its output/, log and settings are the test's),
// on the test's X server, driven with xdotool. It reads Chinese unless SetEnv
// says otherwise.
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
    // Starts the program with dir/stdout.log as output, "/" as working
    // directory and a TMPDIR of this test process (its single-instance
    // guard is not shared with other test processes), with option (such
    // as "--screen") on its command line when given. 0 or -1.
    int Launch(const char* option = nullptr);
    // Runs a second copy with option (--start, --stop, --toggle) as a
    // desktop shortcut would: its exit status, its output in *output.
    int Command(const std::string& option, std::string* output) const;
    // Launches, presses "进入" in the work-mode window (after "摄像头录像"
    // when camera) and waits for the window named nextWindow; its id or "".
    std::string Enter(const std::string& nextWindow, bool camera = false);
    // Id of a visible window whose name matches the regular expression, or
    // "" after timeoutMs.
    std::string WaitWindow(const std::string& nameRegex, int timeoutMs = 20000) const;
    bool HasWindow(const std::string& nameRegex) const;
    // Clicks at (x, y) inside the window.
    void Click(const std::string& window, int x, int y) const;
    // Presses keys (xdotool names) through XTEST, which reaches global grabs.
    void Key(const std::string& keys) const;
    // Focuses a message box and presses Return.
    void Dismiss(const std::string& window) const;
    // F3, ms of recording, F4: the finished file's path or "".
    std::string Record(int ms) const;
    // Waits for the program to end: its exit code (the signal number + 128
    // when killed), -1 on time-out.
    int WaitExit(int timeoutMs = 10000);
    void Kill(int signal);

    // Files in dir/output (or the installed program's outputDir), sorted.
    std::string OutputFiles() const;
    int OutputCount() const;
    // Path of the newest output file, or "".
    std::string NewestOutput() const;
    // Waits until the newest output file exists and stopped growing (the
    // recording was finished); its path, or "" after timeoutMs.
    std::string WaitOutputFile(int timeoutMs = 15000) const;
    std::string Log() const;
    // The running program's process name (/proc/<pid>/comm).
    std::string ProcessName() const;

private:
    std::string m_dir;
    std::string m_exe;
    std::string m_outputDir;
    std::vector<std::pair<std::string, std::string>> m_env;
    pid_t m_pid;
};
