#include "media/SharedBlocks.h"

#include "os/OS_MutexLocker.h"

SharedBlocks::SharedBlocks() : m_pool(nullptr), m_blocks(), m_holders() {}

int SharedBlocks::Init(MemPool* pool) {
    m_pool = pool;
    return m_lock.Init();
}

int SharedBlocks::Share(void* p) {
    OS_MutexLocker lock(m_lock);
    int empty = -1;
    for (int i = 0; i < MAX_SHARED; ++i) {
        if (m_blocks[i] == p) {
            ++m_holders[i];
            return 0;
        }
        if (!m_blocks[i] && empty < 0)
            empty = i;
    }
    if (empty < 0)
        return -1;
    m_blocks[empty] = p;
    m_holders[empty] = 2;
    return 0;
}

void SharedBlocks::Free(void* p) {
    if (!p)
        return;
    {
        OS_MutexLocker lock(m_lock);
        for (int i = 0; i < MAX_SHARED; ++i) {
            if (m_blocks[i] == p) {
                if (--m_holders[i] == 1)
                    m_blocks[i] = nullptr;
                return;
            }
        }
    }
    m_pool->Free(p);
}

SharedBlocks& SharedBlocks::Frames() {
    static SharedBlocks* blocks = [] {
        SharedBlocks* b = new SharedBlocks;
        b->Init(&MemPool::Frames());
        return b;
    }();
    return *blocks;
}
