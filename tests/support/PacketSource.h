#pragma once

// Packets as the capture threads make them, from allocators a test can
// watch, plus waiting for a threaded component to catch up.

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "media/MMPacket.h"
#include "media/MMUserMalloc.h"
#include "os/OS_Semaphore.h"

// Heap allocator that counts blocks out and back, and can hold the thread
// that gives back the next block until Let() is called: a test can thereby
// stop a consumer right after it finished a packet.
class CountingAllocator : public MMUserMalloc {
public:
    CountingAllocator();
    void* Alloc(unsigned size) override;
    void Free(void* p) override;

    // The next Free waits inside until Let().
    void HoldNextFree();
    // Waits (at most 20 s) until a thread is held in Free. true when it is.
    bool WaitHeld();
    void Let();

    int Outstanding() const { return m_allocs - m_frees; }
    int Frees() const { return m_frees; }

private:
    std::atomic<int> m_allocs;
    std::atomic<int> m_frees;
    std::atomic<bool> m_holdNext;
    OS_Semaphore m_held;
    OS_Semaphore m_let;
};

// A picture packet (type 0) holding a copy of picture, from allocator (null:
// the heap).
MMPacket PicturePacket(const std::vector<uint8_t>& picture, int64_t timestamp, MMUserMalloc* allocator);
// A sound packet (type 1) holding a copy of block.
MMPacket SoundPacket(const std::vector<uint8_t>& block, MMUserMalloc* allocator);

// Polls condition every 2 ms until it holds or 60 s have passed (a hang
// guard, not a timing check). Its last value.
bool WaitUntil(const std::function<bool()>& condition);
