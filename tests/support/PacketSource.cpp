#include "tests/support/PacketSource.h"

#include "os/OS_Clock.h"

CountingAllocator::CountingAllocator() : m_allocs(0), m_frees(0), m_holdNext(false) {
    m_held.Init(0);
    m_let.Init(0);
}

void* CountingAllocator::Alloc(unsigned size) {
    ++m_allocs;
    return new uint8_t[size];
}

void CountingAllocator::Free(void* p) {
    if (!p)
        return;
    if (m_holdNext.exchange(false)) {
        m_held.Post();
        m_let.Wait();
    }
    delete[] static_cast<uint8_t*>(p);
    ++m_frees;
}

void CountingAllocator::HoldNextFree() { m_holdNext = true; }

bool CountingAllocator::WaitHeld() { return m_held.TimedWait(20000) == 0; }

void CountingAllocator::Let() { m_let.Post(); }

MMPacket PicturePacket(const std::vector<uint8_t>& picture, int64_t timestamp, MMUserMalloc* allocator) {
    MMPacket packet;
    packet.allocator = allocator;
    packet.Fill(picture.data(), (int)picture.size(), timestamp);
    packet.type = MMPacket::TYPE_VIDEO;
    return packet;
}

MMPacket SoundPacket(const std::vector<uint8_t>& block, MMUserMalloc* allocator) {
    MMPacket packet;
    packet.allocator = allocator;
    packet.Fill(block.data(), (int)block.size(), 0);
    packet.type = MMPacket::TYPE_AUDIO;
    return packet;
}

bool WaitUntil(const std::function<bool()>& condition) {
    int64_t deadline = OS_NowMs() + 60000;
    while (!condition()) {
        if (OS_NowMs() > deadline)
            return condition();
        OS_Sleep(2);
    }
    return true;
}
