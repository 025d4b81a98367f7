#include "tests/support/TestEnv.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <glob.h>
#include <sys/ipc.h>
#include <sys/shm.h>
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
    // keyed by Qt with ftok(file, 'Q') of a file in here. Once the file is
    // gone nothing would clear it, and such segments would pile up towards
    // the system's limit.
    glob_t keys;
    if (glob((m_path + "/qipc_sharedmemory_*").c_str(), 0, nullptr, &keys) == 0) {
        for (size_t i = 0; i < keys.gl_pathc; ++i) {
            key_t key = ftok(keys.gl_pathv[i], 'Q');
            int id = key == -1 ? -1 : shmget(key, 0, 0);
            if (id >= 0)
                shmctl(id, IPC_RMID, nullptr);
        }
        globfree(&keys);
    }
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
