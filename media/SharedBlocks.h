#pragma once

#include "media/MemPool.h"
#include "os/OS_Mutex.h"

// Blocks of a MemPool that more than one holder reads at once: a picture
// handed to the encoder that its capture keeps to hand on again. A block
// goes back to the pool when its last holder frees it. Holders only read
// a shared block. Thread-safe.
class SharedBlocks : public MMUserMalloc {
public:
    // Shared blocks at once; far more than a pool holds.
    static constexpr int MAX_SHARED = 64;

    SharedBlocks();
    // Over pool (not owned, must outlive this). 0, or -1 when the mutex
    // cannot be made.
    int Init(MemPool* pool);

    void* Alloc(unsigned size) override { return m_pool->Alloc(size); }
    // One holder less; the block goes back to the pool with the last.
    void Free(void* p) override;
    // One holder more of p, a block from Alloc; every holder calls Free once.
    // 0, or -1 when too many blocks are shared already.
    int Share(void* p);
    MemPool& Pool() { return *m_pool; }

    // Over MemPool::Frames(); never destroyed, as that one.
    static SharedBlocks& Frames();

private:
    SharedBlocks(const SharedBlocks&) = delete;
    SharedBlocks& operator=(const SharedBlocks&) = delete;

    MemPool* m_pool;
    OS_Mutex m_lock;
    // blocks with more than one holder; a block not listed has one
    void* m_blocks[MAX_SHARED];
    int m_holders[MAX_SHARED];
};
