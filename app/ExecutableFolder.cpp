#include "app/ExecutableFolder.h"

#include <unistd.h>

const std::string& ExecutableFolder() {
    static std::string folder;
    if (folder.empty()) {
        char path[512];
        ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        if (n > 0) {
            path[n] = '\0';
            std::string exe(path);
            size_t slash = exe.rfind('/');
            if (slash != std::string::npos)
                folder = exe.substr(0, slash + 1);
        }
    }
    return folder;
}
