#include <cstdio>

#include "app/ConfigFile.h"
#include "media/MemPool.h"
#include "os/OS_Clock.h"
#include "os/OS_Log.h"

// Until the windows exist: start the process-wide objects and show that the
// foundation works.
int main(int argc, char* argv[]) {
    if (OS_Log::Global().Open("vidloom.log.txt") != 0)
        return 0;
    OS_Log::Global().SetLevel(OS_Log::LEVEL_DEBUG);
    OS_Log::Info("------------ * program start * -----------\n");
    MemPool::Frames().Init(MemPool::FRAME_BLOCK_SIZE, MemPool::FRAME_BLOCK_COUNT);

    OS_Clock clock;
    clock.Start(0);
    ConfigFile config;
    int reverse = 0;
    if (config.Load("default.cfg", ConfigFile::DEFAULT_CAPACITY))
        reverse = config.GetInt("camera.reverse", 0);
    config.Close();
    OS_Log::Info("camera.reverse = %d, start-up took %lld ms\n", reverse, (long long)clock.Elapsed());
    return 0;
}
