#include "tests/support/TestEnv.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <dirent.h>
#include <sys/wait.h>

static bool IsSet(const char* name) {
    const char* value = getenv(name);
    return value && *value;
}

bool TestHasDisplay() { return IsSet("DISPLAY"); }
bool TestHasPulse() { return IsSet("PULSE_SERVER"); }
bool TestServersRequired() {
    const char* required = getenv("VIDLOOM_REQUIRE_SERVERS");
    return required && std::string(required) == "1";
}

TempDir::TempDir() {
    char pattern[] = "/tmp/vidloom-test.XXXXXX";
    const char* path = mkdtemp(pattern);
    m_path = path ? path : "/tmp";
}

TempDir::~TempDir() {
    if (m_path.rfind("/tmp/vidloom-test.", 0) == 0)
        RunCommand("chmod -R u+w '" + m_path + "' 2>/dev/null; rm -rf '" + m_path + "'");
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string RunCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (status) *status = -1;
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    int rc = pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

namespace {

int CountEntries(const char* folder) {
    DIR* dir = opendir(folder);
    if (!dir)
        return -1;
    int count = 0;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count;
}

}  // namespace

// Less the descriptor of the listing itself.
int CountOpenFds() { return CountEntries("/proc/self/fd") - 1; }

int CountThreads() {
    // ThreadSanitizer starts a helper thread of its own with the first
    // thread the process creates: let that happen before anything counts.
    static bool warmedUp = false;
    if (!warmedUp) {
        std::thread([] {}).join();
        warmedUp = true;
    }
    return CountEntries("/proc/self/task");
}
