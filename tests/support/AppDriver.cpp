#include "tests/support/AppDriver.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/OS_Clock.h"
#include "tests/support/TestEnv.h"

namespace {

std::string TestProgramFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Shared by every copy this test process starts: two copies of one test are
// a second instance, copies started by other test processes are not.
const std::string& ProgramTempFolder() {
    static TempDir folder;
    return folder.Path();
}

}  // namespace

AppDriver::AppDriver() : m_pid(-1) {}

AppDriver::~AppDriver() {
    Kill(SIGKILL);
    WaitExit(5000);
}

int AppDriver::Install(const std::string& dir, bool withOutput) {
    m_dir = dir;
    m_exe = dir + "/vidloom";
    m_outputDir = dir + "/output";
    std::string from = TestProgramFolder();
    int status = 0;
    RunCommand("cp " + Quote(from + "/vidloom") + " " + Quote(dir) + " 2>&1", &status);
    if (status != 0)
        return -1;
    for (const char* file : {"default.skin", "default.cfg", "bg.png", "shutter.wav"})
        RunCommand("cp " + Quote(from + "/" + file) + " " + Quote(dir) + " 2>/dev/null");
    if (withOutput)
        mkdir((dir + "/output").c_str(), 0755);
    return 0;
}

void AppDriver::UseInstalled(const std::string& exe, const std::string& dir, const std::string& outputDir) {
    m_exe = exe;
    m_dir = dir;
    m_outputDir = outputDir;
}

void AppDriver::SetEnv(const std::string& name, const std::string& value) { m_env.emplace_back(name, value); }

int AppDriver::Launch(const char* option) {
    std::string exe = m_exe;
    std::string log = m_dir + "/stdout.log";
    std::string tmp = ProgramTempFolder();
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        if (chdir("/") != 0)
            _exit(127);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("TMPDIR", tmp.c_str(), 1);
        // Chinese on a locale every machine has (an ungenerated zh_CN.UTF-8 garbles window names).
        setenv("LANG", "C.UTF-8", 1);
        setenv("LANGUAGE", "zh_CN", 1);
        for (const auto& variable : m_env)
            setenv(variable.first.c_str(), variable.second.c_str(), 1);
        execl(exe.c_str(), exe.c_str(), option, (char*)nullptr);
        _exit(127);
    }
    m_pid = pid;
    return 0;
}

int AppDriver::Command(const std::string& option, std::string* output) const {
    int status = -1;
    *output = RunCommand("TMPDIR='" + ProgramTempFolder() + "' '" + m_exe + "' " + option + " 2>&1", &status);
    return status;
}

std::string AppDriver::Enter(const std::string& nextWindow, bool camera) {
    std::string workMode = Launch() == 0 ? WaitWindow("^Quorvex$") : "";
    if (workMode.empty())
        return "";
    if (camera)
        Click(workMode, 40, 61);  // "摄像头录像"
    Click(workMode, 80, 105);     // "进入" sits at (30, 90), 100 x 30
    std::string window = WaitWindow(nextWindow);
    OS_Sleep(camera ? 1000 : 500);  // hot keys grabbed, preview running
    return window;
}

std::string AppDriver::WaitWindow(const std::string& nameRegex, int timeoutMs) const {
    int64_t deadline = OS_NowMs() + timeoutMs;
    do {
        std::string ids = RunCommand("xdotool search --onlyvisible --name " + Quote(nameRegex) +
                                     " 2>/dev/null");
        if (!ids.empty())
            return ids.substr(0, ids.find('\n'));
        OS_Sleep(100);
    } while (OS_NowMs() < deadline);
    return "";
}

bool AppDriver::HasWindow(const std::string& nameRegex) const {
    return !WaitWindow(nameRegex, 0).empty();
}

void AppDriver::Click(const std::string& window, int x, int y) const {
    RunCommand("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
               std::to_string(y) + " click 1");
}

void AppDriver::Key(const std::string& keys) const { RunCommand("xdotool key " + keys); }

void AppDriver::Dismiss(const std::string& window) const {
    RunCommand("xdotool windowfocus --sync " + window + " key Return");
}

std::string AppDriver::Record(int ms) const {
    Key("F3");
    OS_Sleep(ms);
    Key("F4");
    return WaitOutputFile();
}

int AppDriver::WaitExit(int timeoutMs) {
    int status = 0;
    for (int64_t deadline = OS_NowMs() + timeoutMs; m_pid > 0; OS_Sleep(20)) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (OS_NowMs() >= deadline)
            break;
    }
    return -1;
}

void AppDriver::Kill(int signal) {
    if (m_pid > 0)
        kill(m_pid, signal);
}

std::string AppDriver::OutputFiles() const {
    return RunCommand("ls " + Quote(m_outputDir) + " 2>/dev/null");
}

int AppDriver::OutputCount() const {
    std::string files = OutputFiles();
    return (int)std::count(files.begin(), files.end(), '\n');
}

std::string AppDriver::NewestOutput() const {
    std::string files = OutputFiles();
    if (files.empty())
        return "";
    files.pop_back();
    return m_outputDir + "/" + files.substr(files.rfind('\n') + 1);
}

std::string AppDriver::WaitOutputFile(int timeoutMs) const {
    long lastSize = -1;
    for (int64_t deadline = OS_NowMs() + timeoutMs; OS_NowMs() < deadline; OS_Sleep(300)) {
        struct stat st;
        std::string path = NewestOutput();
        long size = !path.empty() && stat(path.c_str(), &st) == 0 ? (long)st.st_size : -1;
        if (size > 0 && size == lastSize)
            return path;
        lastSize = size;
    }
    return "";
}

std::string AppDriver::Log() const {
    return ReadFileText(m_dir + "/vidloom.log.txt") + "\n--- stdout/stderr:\n" +
           ReadFileText(m_dir + "/stdout.log");
}

std::string AppDriver::ProcessName() const { return ReadFileText("/proc/" + std::to_string(m_pid) + "/comm"); }
