#include "tests/support/TestEnv.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
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
    if (m_path.rfind("/tmp/vidloom-test.", 0) != 0)
        return;
    // A copy killed in a test leaves its single-instance segment behind,
    // keyed by a file in here (ftok: 'Q', the device's low byte, the inode's
    // low 16 bits). Once the file is gone nothing would clear it, and such
    // segments would pile up towards the system's limit.
    RunCommand("for f in $(find '" + m_path + "' -name 'qipc_sharedmemory_*' 2>/dev/null); do "
               "ipcrm -M $(( (0x51 << 24) | (($(stat -c %d \"$f\") & 0xff) << 16) | "
               "($(stat -c %i \"$f\") & 0xffff) )) 2>/dev/null; done");
    RunCommand("chmod -R u+w '" + m_path + "' 2>/dev/null; rm -rf '" + m_path + "'");
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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

// Entries of a /proc folder ("." and ".." are not listed).
static int CountEntries(const char* folder) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    return error ? -1 : (int)std::distance(entries, std::filesystem::directory_iterator());
}

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
