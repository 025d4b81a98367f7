#include "media/MemPool.h"

#include "os/OS_MutexLocker.h"

MemPool::MemPool() : m_count(0), m_blockSize(0), m_blocks(nullptr), m_freeHead(nullptr) {}

MemPool::~MemPool() {
    for (int i = 0; i < m_count; ++i)
        delete[] reinterpret_cast<unsigned char*>(m_blocks[i]);
    delete[] m_blocks;
}

int MemPool::Init(unsigned blockSize, int count) {
    m_lock.Init();
    OS_MutexLocker guard(m_lock);
    m_blockSize = blockSize;
    m_count = count;
    m_blocks = new Block*[count];
    for (int i = 0; i < count; ++i)
        m_blocks[i] = reinterpret_cast<Block*>(new unsigned char[sizeof(Block) + blockSize]);
    for (int i = 0; i < count; ++i)
        m_blocks[i]->next = i + 1 < count ? m_blocks[i + 1] : nullptr;
    m_freeHead = count > 0 ? m_blocks[0] : nullptr;
    return 0;
}

void* MemPool::Alloc(unsigned) {
    OS_MutexLocker guard(m_lock);
    Block* block = m_freeHead;
    if (!block)
        return nullptr;
    m_freeHead = block->next;
    return block + 1;
}

void MemPool::Free(void* p) {
    if (!p)
        return;
    Block* block = static_cast<Block*>(p) - 1;
    OS_MutexLocker guard(m_lock);
    block->next = m_freeHead;
    m_freeHead = block;
}

MemPool& MemPool::Frames() {
    // Never destroyed: a thread may still give a block back while the
    // process exits.
    static MemPool* pool = new MemPool;
    return *pool;
}
