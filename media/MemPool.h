#pragma once

#include <cstddef>

#include "media/MMUserMalloc.h"
#include "os/OS_Mutex.h"

// Fixed blocks for screen pictures, so the capture threads never touch the
// heap per picture. Last in, first out. Thread-safe.
//
// Each block is its own anonymous mapping: its pages take memory only once a
// picture has been written into them, so the resident size follows the
// pictures actually in flight, not the pool's size. A page that may not be
// touched follows each block.
class MemPool : public MMUserMalloc {
public:
    // Picture block of the process-wide pool: one 1920 x 1080 picture at 4
    // bytes per pixel.
    static constexpr unsigned FRAME_BLOCK_SIZE = 8294400;
    // Blocks in the process-wide pool: enough for two queued pictures, one
    // being encoded and one being grabbed, with room to spare.
    static constexpr int FRAME_BLOCK_COUNT = 8;
    // Blocks every recording uses: one being grabbed, one being encoded, one
    // waiting. The first write to a fresh page costs a fault (under a
    // hypervisor that backs memory lazily some 25 us); at 3840 x 2160 a
    // block's first picture pays some 8000 of them, enough to make the
    // capture miss its period, so Reserve makes these pages beforehand.
    static constexpr int WARM_BLOCKS = 3;

    MemPool();
    // Unmaps the blocks; every block must be back by then.
    ~MemPool();

    // Maps count blocks of blockSize bytes and links them, block 0 first.
    // 0, or -1 (logged) when the system refuses the mappings. Called once.
    int Init(unsigned blockSize, int count);
    // A free block (BlockSize() bytes, whatever size asks), or null.
    void* Alloc(unsigned size) override;
    // Gives a block back; null is ignored.
    void Free(void* p) override;

    // Makes every block at least blockSize bytes from now on, for pictures
    // larger than the pool was made for (a screen above 1920 x 1080). A
    // smaller block is mapped again at the new size the next time it is
    // handed out; the pool never shrinks. The WARM_BLOCKS blocks handed out
    // next get their size now, and the pages of their first blockSize bytes
    // (made once: a second call for the same size costs nothing).
    // 0, or -1 before Init or when the system refuses the mappings. Any
    // thread; called before a recording starts.
    int Reserve(unsigned blockSize);
    unsigned BlockSize() const;

    // The process-wide frame pool, initialised by main.
    static MemPool& Frames();

private:
    MemPool(const MemPool&) = delete;
    MemPool& operator=(const MemPool&) = delete;

    // A block is this header followed by the payload; the header is a whole
    // cache line so that the payload is aligned for SIMD.
    struct alignas(64) Block {
        Block* next;
        size_t bytes;         // payload size of this mapping
        int index;            // in m_blocks
        void* mapping;        // the whole mapping, guard page included
        size_t mappingBytes;
        size_t written;       // payload bytes whose pages Reserve has made
    };

    static Block* MapBlock(size_t bytes, int index);
    bool Enlarge(Block** link);
    static void UnmapBlock(Block* block);

    mutable OS_Mutex m_lock;  // guards every field below after Init
    int m_count;
    unsigned m_blockSize;
    Block** m_blocks;
    Block* m_freeHead;
};
