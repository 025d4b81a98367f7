#include "tests/support/FramePool.h"

#include <vector>

#include "media/MemPool.h"

MemPool& InitFramePool() {
    static bool ready = MemPool::Frames().Init(MemPool::FRAME_BLOCK_SIZE, MemPool::FRAME_BLOCK_COUNT) == 0;
    (void)ready;
    return MemPool::Frames();
}

int FreePoolBlocks(MemPool& pool) {
    std::vector<void*> taken;
    while (void* p = pool.Alloc(1))
        taken.push_back(p);
    for (void* p : taken)
        pool.Free(p);
    return (int)taken.size();
}
