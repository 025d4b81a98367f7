#include "media/MemPool.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "os/OS_Log.h"
#include "os/OS_Memory.h"
#include "os/OS_MutexLocker.h"

MemPool::MemPool() : m_count(0), m_blockSize(0), m_blocks(nullptr), m_freeHead(nullptr) {}

MemPool::~MemPool() {
    for (int i = 0; i < m_count; ++i)
        UnmapBlock(m_blocks[i]);
    delete[] m_blocks;
}

// A block's mapping: the header, the payload ending at most 63 bytes before
// a page that may not be touched, and that page, so that writing past a
// picture faults at once instead of spoiling the next block.
MemPool::Block* MemPool::MapBlock(size_t bytes, int index) {
    size_t page = (size_t)sysconf(_SC_PAGESIZE);
    size_t payload = (bytes + 63) / 64 * 64;
    size_t used = (sizeof(Block) + payload + page - 1) / page * page;
    // Anonymous pages are zero and not resident until first written.
    void* p = mmap(nullptr, used + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED || mprotect((uint8_t*)p + used, page, PROT_NONE) != 0) {
        OS_Log::Error("[MemPool::MapBlock] Error: cannot map %zu bytes: %s.\n", bytes, strerror(errno));
        if (p != MAP_FAILED)
            munmap(p, used + page);
        return nullptr;
    }
    OS_AdviseLargePages(p, used);
    Block* block = reinterpret_cast<Block*>((uint8_t*)p + used - payload) - 1;
    block->next = nullptr;
    block->bytes = bytes;
    block->index = index;
    block->mapping = p;
    block->mappingBytes = used + page;
    block->written = 0;
    return block;
}

void MemPool::UnmapBlock(Block* block) {
    if (block)
        munmap(block->mapping, block->mappingBytes);
}

int MemPool::Init(unsigned blockSize, int count) {
    m_lock.Init();
    OS_MutexLocker guard(m_lock);
    m_blockSize = blockSize;
    m_blocks = new Block*[count > 0 ? count : 1]();
    // Linked in index order, block 0 first.
    Block** tail = &m_freeHead;
    for (int i = 0; i < count; ++i) {
        m_blocks[i] = MapBlock(blockSize, i);
        if (!m_blocks[i])
            return -1;
        m_count = i + 1;
        *tail = m_blocks[i];
        tail = &m_blocks[i]->next;
    }
    return 0;
}

// Called with m_lock held: *link points at a free block made before the
// last Reserve; it is mapped again at the size asked for now.
bool MemPool::Enlarge(Block** link) {
    Block* block = *link;
    Block* larger = MapBlock(m_blockSize, block->index);
    if (!larger)
        return false;
    larger->next = block->next;
    m_blocks[block->index] = larger;
    *link = larger;
    UnmapBlock(block);
    return true;
}

void* MemPool::Alloc(unsigned) {
    OS_MutexLocker guard(m_lock);
    if (!m_freeHead || (m_freeHead->bytes < m_blockSize && !Enlarge(&m_freeHead)))
        return nullptr;
    Block* block = m_freeHead;
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

int MemPool::Reserve(unsigned blockSize) {
    OS_MutexLocker guard(m_lock);
    if (m_count == 0)
        return -1;
    if (blockSize > m_blockSize)
        m_blockSize = blockSize;
    Block** link = &m_freeHead;
    for (int i = 0; i < WARM_BLOCKS && *link; ++i, link = &(*link)->next) {
        if ((*link)->bytes < m_blockSize && !Enlarge(link))
            return -1;
        // The pages the pictures will use written now (a small window's
        // picture uses only the start of a block).
        if ((*link)->written < blockSize) {
            OS_WritePages(*link + 1, blockSize);
            (*link)->written = blockSize;
        }
    }
    return 0;
}

unsigned MemPool::BlockSize() const {
    OS_MutexLocker guard(m_lock);
    return m_blockSize;
}

MemPool& MemPool::Frames() {
    // Never destroyed: a thread may still give a block back while the
    // process exits.
    static MemPool* pool = new MemPool;
    return *pool;
}
