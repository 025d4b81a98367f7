#include "tests/support/MediaSamples.h"

#include <cmath>

#include "os/OS_Clock.h"

std::vector<uint8_t> SolidPicture(int width, int height, int bytesPerPixel, uint8_t blue, uint8_t green,
                                  uint8_t red) {
    std::vector<uint8_t> picture((size_t)width * height * bytesPerPixel, 0);
    for (size_t at = 0; at < picture.size(); at += bytesPerPixel) {
        picture[at] = blue;
        picture[at + 1] = green;
        picture[at + 2] = red;
    }
    return picture;
}

std::vector<uint8_t> SineBlock(int64_t firstFrame, double hz) {
    std::vector<uint8_t> block(SOUND_BLOCK_BYTES);
    int16_t* samples = reinterpret_cast<int16_t*>(block.data());
    for (int i = 0; i < SOUND_BLOCK_FRAMES; ++i) {
        double t = (double)(firstFrame + i) / SOUND_SAMPLE_RATE;
        samples[2 * i] = samples[2 * i + 1] = (int16_t)std::lround(16384.0 * std::sin(2 * M_PI * hz * t));
    }
    return block;
}

MMPacket MakePacket(int type, const std::vector<uint8_t>& bytes, int64_t timestamp, MMUserMalloc* allocator) {
    MMPacket packet;
    packet.allocator = allocator;
    packet.Fill(bytes.data(), (int)bytes.size(), timestamp);
    packet.type = type;
    return packet;
}

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

bool WaitUntil(const std::function<bool()>& condition) {
    int64_t deadline = OS_NowMs() + 60000;
    while (!condition()) {
        if (OS_NowMs() > deadline)
            return condition();
        OS_Sleep(2);
    }
    return true;
}
