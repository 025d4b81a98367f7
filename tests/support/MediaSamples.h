#pragma once

// Pictures, sound blocks and packets as the capture threads push them, from an allocator a test can watch.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "media/MMPacket.h"
#include "media/MMUserMalloc.h"
#include "os/OS_Clock.h"
#include "os/OS_Semaphore.h"

// Sound block of the capture: 1024 stereo sample frames, 16-bit interleaved.
constexpr int SOUND_BLOCK_FRAMES = 1024;
constexpr int SOUND_SAMPLE_RATE = 11025;

// A whole picture of one colour: BGR (3 bytes a pixel) or BGRA (4).
inline std::vector<uint8_t> SolidPicture(int width, int height, int bytesPerPixel, uint8_t blue, uint8_t green,
                                         uint8_t red) {
    std::vector<uint8_t> picture((size_t)width * height * bytesPerPixel, 0);
    for (size_t at = 0; at < picture.size(); at += bytesPerPixel) {
        picture[at] = blue;
        picture[at + 1] = green;
        picture[at + 2] = red;
    }
    return picture;
}

// One sound block of a sine tone (amplitude 0.5, both channels) from sample frame firstFrame on.
inline std::vector<uint8_t> SineBlock(int64_t firstFrame, double hz) {
    std::vector<uint8_t> block(SOUND_BLOCK_FRAMES * 2 * 2);
    int16_t* samples = reinterpret_cast<int16_t*>(block.data());
    for (int i = 0; i < SOUND_BLOCK_FRAMES; ++i) {
        double t = (double)(firstFrame + i) / SOUND_SAMPLE_RATE;
        samples[2 * i] = samples[2 * i + 1] = (int16_t)std::lround(16384.0 * std::sin(2 * M_PI * hz * t));
    }
    return block;
}

// Recording-clock microseconds of sample frame `frame` of a source that started with the recording.
inline int64_t SoundUs(int64_t frame) { return frame * 1000000 / SOUND_SAMPLE_RATE; }

// A packet of type (MMPacket::TYPE_*) holding a copy of bytes, from allocator (null: the heap).
inline MMPacket MakePacket(int type, const std::vector<uint8_t>& bytes, int64_t timestamp, MMUserMalloc* allocator) {
    MMPacket packet;
    packet.allocator = allocator;
    packet.Fill(bytes.data(), (int)bytes.size(), timestamp);
    packet.type = type;
    return packet;
}

// Heap allocator that counts blocks out and back. After HoldNextFree the next Free waits until Let():
// a test can thereby stop a consumer right after it finished a packet.
class CountingAllocator : public MMUserMalloc {
public:
    CountingAllocator() {
        m_held.Init(0);
        m_let.Init(0);
    }
    void* Alloc(unsigned size) override {
        ++m_allocs;
        return new uint8_t[size];
    }
    void Free(void* p) override {
        if (!p)
            return;
        if (m_holdNext.exchange(false)) {
            m_held.Post();
            m_let.Wait();
        }
        delete[] static_cast<uint8_t*>(p);
        ++m_frees;
    }

    void HoldNextFree() { m_holdNext = true; }
    // Waits (at most 20 s) until a thread is held in Free. true when it is.
    bool WaitHeld() { return m_held.TimedWait(20000) == 0; }
    void Let() { m_let.Post(); }
    int Outstanding() const { return m_allocs - m_frees; }
    int Frees() const { return m_frees; }

private:
    std::atomic<int> m_allocs{0};
    std::atomic<int> m_frees{0};
    std::atomic<bool> m_holdNext{false};
    OS_Semaphore m_held;
    OS_Semaphore m_let;
};

// Polls condition every 2 ms until it holds or 60 s have passed (a hang guard). Its last value.
inline bool WaitUntil(const std::function<bool()>& condition) {
    for (int64_t deadline = OS_NowMs() + 60000; !condition();) {
        if (OS_NowMs() > deadline)
            return condition();
        OS_Sleep(2);
    }
    return true;
}
