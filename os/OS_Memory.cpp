#include "os/OS_Memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// Linux 5.14; an older kernel refuses it and the writes below fault as before.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {

const char* const TUNABLES = "GLIBC_TUNABLES";
const char* const LARGE_PAGES_TUNABLE = "glibc.malloc.hugetlb";
const char* const THP_MODE_FILE = "/sys/kernel/mm/transparent_hugepage/enabled";

// madvise wants a page boundary; the page holding address is part of the
// same mapping.
void AdvisePages(void* address, size_t bytes, int advice) {
    uintptr_t page = (uintptr_t)sysconf(_SC_PAGESIZE);
    uintptr_t start = (uintptr_t)address & ~(page - 1);
    madvise((void*)start, (uintptr_t)address + bytes - start, advice);
}

// The kernel gives 2 MB pages only where asked: "always [madvise] never".
bool LargePagesOnRequest() {
    FILE* file = fopen(THP_MODE_FILE, "r");
    if (!file)
        return false;
    char line[128] = {0};
    bool onRequest = fgets(line, sizeof(line), file) && strstr(line, "[madvise]");
    fclose(file);
    return onRequest;
}

}  // namespace

void OS_WritePages(void* address, size_t bytes) {
    if (!address || bytes == 0)
        return;
    AdvisePages(address, bytes, MADV_POPULATE_WRITE);
    memset(address, 0, bytes);
}

void OS_AdviseLargePages(void* address, size_t bytes) {
    if (address && bytes > 0)
        AdvisePages(address, bytes, MADV_HUGEPAGE);
}

bool OS_LargePagesWantRestart() {
    const char* set = getenv(TUNABLES);
    // already restarted, or the user set it either way
    return !(set && strstr(set, LARGE_PAGES_TUNABLE)) && LargePagesOnRequest();
}

void OS_RestartWithLargePages(char* argv[]) {
    const char* set = getenv(TUNABLES);
    std::string before = set ? set : "";
    std::string value = std::string(LARGE_PAGES_TUNABLE) + "=1";
    if (!before.empty())
        value = before + ":" + value;
    // The file itself, not /proc/self/exe: the process is named after the
    // file executed, and should stay "vidloom" for ps and pgrep.
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0)
        return;
    self[length] = '\0';
    setenv(TUNABLES, value.c_str(), 1);
    execv(self, argv);
    // not restarted: nothing lost but the large pages
    if (set)
        setenv(TUNABLES, before.c_str(), 1);
    else
        unsetenv(TUNABLES);
}
