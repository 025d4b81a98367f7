#pragma once

#include <vector>

#include "media/MemPool.h"

// The process-wide frame pool, initialised on first use as main does it.
inline MemPool& InitFramePool() {
    static int ready = MemPool::Frames().Init(MemPool::FRAME_BLOCK_SIZE, MemPool::FRAME_BLOCK_COUNT);
    (void)ready;
    return MemPool::Frames();
}

// How many blocks pool can give right now (takes them all and gives them back).
inline int FreePoolBlocks(MemPool& pool) {
    std::vector<void*> taken;
    while (void* p = pool.Alloc(1))
        taken.push_back(p);
    for (void* p : taken)
        pool.Free(p);
    return (int)taken.size();
}
