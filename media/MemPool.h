#pragma once

#include <cstddef>

#include "media/MMUserMalloc.h"
#include "os/OS_Mutex.h"

// Fixed blocks for screen pictures, so the capture threads never touch the
// heap per picture. Last in, first out. Thread-safe.
class MemPool : public MMUserMalloc {
public:
    // Picture block of the process-wide pool: one 1920 x 1080 picture at 4
    // bytes per pixel.
    static constexpr unsigned FRAME_BLOCK_SIZE = 8294400;
    // Blocks in the process-wide pool: enough for two queued pictures, one
    // being encoded and one being grabbed, with room to spare.
    static constexpr int FRAME_BLOCK_COUNT = 8;

    MemPool();
    // Frees the blocks; every block must be back by then.
    ~MemPool();

    // Allocates count blocks of blockSize bytes and links them, block 0 first.
    // Always 0. Called once.
    int Init(unsigned blockSize, int count);
    // A free block (blockSize bytes, whatever size asks), or null.
    void* Alloc(unsigned size) override;
    // Gives a block back; null is ignored.
    void Free(void* p) override;

    unsigned BlockSize() const { return m_blockSize; }

    // The process-wide frame pool, initialised by main.
    static MemPool& Frames();

private:
    MemPool(const MemPool&) = delete;
    MemPool& operator=(const MemPool&) = delete;

    // A block is one link word followed by the payload.
    struct Block {
        Block* next;
    };

    OS_Mutex m_lock;      // guards m_freeHead
    int m_count;
    unsigned m_blockSize;
    Block** m_blocks;
    Block* m_freeHead;
};
