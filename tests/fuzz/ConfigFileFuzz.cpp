// libFuzzer target: any file content, then lookups and edits, never touch
// memory outside the buffer (built with AddressSanitizer).
// fuzz-sources: app/ConfigFile.cpp os/OS_Log.cpp os/OS_Mutex.cpp
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "app/ConfigFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = "/tmp/vidloom-fuzz-" + std::to_string(getpid()) + ".cfg";
    // The first byte picks the capacity, the rest is the file.
    uint32_t capacity = size > 0 ? 2 + data[0] * 4 : 64;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    if (size > 1)
        fwrite(data + 1, 1, size - 1, f);
    fclose(f);

    ConfigFile cfg;
    if (cfg.Load(path.c_str(), capacity)) {
        std::string value;
        cfg.GetString("camera.reverse", value);
        cfg.GetInt("a", 0);
        cfg.SetString("camera.reverse", value.c_str());
        cfg.SetInt("a", 12345);
        cfg.SetString("camera.reverse", "");
        cfg.GetString("a", value);
        if (cfg.Length() >= capacity || cfg.Text()[cfg.Length()] != '\0')
            __builtin_trap();
    }
    cfg.Close();
    return 0;
}
