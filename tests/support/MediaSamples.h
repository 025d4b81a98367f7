#pragma once

// Pictures, sound blocks and packets as the capture threads push them into
// the packer, from an allocator a test can watch.

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "media/MMPacket.h"
#include "media/MMUserMalloc.h"
#include "os/OS_Semaphore.h"

// Sound block of the capture: 1024 stereo sample frames, 16-bit interleaved.
constexpr int SOUND_BLOCK_FRAMES = 1024;
constexpr int SOUND_BLOCK_BYTES = SOUND_BLOCK_FRAMES * 2 * 2;
constexpr int SOUND_SAMPLE_RATE = 11025;

// A whole picture of one colour: BGR (3 bytes a pixel) or BGRA (4).
std::vector<uint8_t> SolidPicture(int width, int height, int bytesPerPixel, uint8_t blue, uint8_t green,
                                  uint8_t red);
// One sound block of a sine tone (amplitude 0.5, same on both channels)
// starting at sample frame firstFrame of the tone.
std::vector<uint8_t> SineBlock(int64_t firstFrame, double hz);

// A packet of type (MMPacket::TYPE_VIDEO or TYPE_AUDIO) holding a copy of
// bytes, from allocator (null: the heap).
MMPacket MakePacket(int type, const std::vector<uint8_t>& bytes, int64_t timestamp, MMUserMalloc* allocator);

// Heap allocator that counts blocks out and back. After HoldNextFree the
// next Free waits inside until Let(): a test can thereby stop a consumer
// right after it finished a packet.
class CountingAllocator : public MMUserMalloc {
public:
    CountingAllocator();
    void* Alloc(unsigned size) override;
    void Free(void* p) override;

    void HoldNextFree() { m_holdNext = true; }
    // Waits (at most 20 s) until a thread is held in Free. true when it is.
    bool WaitHeld() { return m_held.TimedWait(20000) == 0; }
    void Let() { m_let.Post(); }
    int Outstanding() const { return m_allocs - m_frees; }
    int Frees() const { return m_frees; }

private:
    std::atomic<int> m_allocs;
    std::atomic<int> m_frees;
    std::atomic<bool> m_holdNext;
    OS_Semaphore m_held;
    OS_Semaphore m_let;
};

// Polls condition every 2 ms until it holds or 60 s have passed (a hang
// guard, not a timing check). Its last value.
bool WaitUntil(const std::function<bool()>& condition);
