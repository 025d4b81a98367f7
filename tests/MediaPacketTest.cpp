// vidloom:sanitize
// Packets, the frame pool and the two queue admission rules.
#include <gtest/gtest.h>

#include <cstring>

#include "media/MMPacket.h"
#include "media/PacketQueue.h"
#include "os/OS_Thread.h"
#include "tests/support/FramePool.h"

namespace {

// A 16-byte picture in a block of pool (empty when the pool is dry).
MMPacket Picture(MemPool& pool, int64_t timestamp = 0) {
    MMPacket p;
    p.allocator = &pool;
    p.Fill("0123456789abcdef", 16, timestamp);
    p.type = MMPacket::TYPE_VIDEO;
    return p;
}

MMPacket Sound() {
    unsigned char block[4096] = {1};
    MMPacket p;
    p.Fill(block, sizeof block, 0);
    p.type = MMPacket::TYPE_AUDIO;
    return p;
}

}  // namespace

TEST(MemPool, HandsOutBlocksLastInFirstOut) {
    MemPool empty;
    EXPECT_EQ(nullptr, empty.Alloc(1)) << "no blocks before Init";
    MemPool pool;
    ASSERT_EQ(0, pool.Init(16, 2));
    void* a = pool.Alloc(16);
    void* b = pool.Alloc(1u << 30);  // the size is not looked at
    ASSERT_TRUE(a && b && a != b);
    EXPECT_EQ(nullptr, pool.Alloc(16));
    memset(a, 0xAB, 16);
    memset(b, 0xCD, 16);  // writing a whole block must not corrupt the other
    pool.Free(b);
    pool.Free(nullptr);
    EXPECT_EQ(b, pool.Alloc(16));
    pool.Free(a);
    pool.Free(b);
    EXPECT_EQ(2, FreePoolBlocks(pool));
}

TEST(MMPacket, OwnedDataGoesBackOnceAndBorrowedDataStays) {
    MMPacket heap;
    EXPECT_TRUE(heap.IsEmpty());
    heap.Release();  // empty: nothing to do
    const char text[] = "hello";
    heap.Fill(text, sizeof text, 7);
    EXPECT_NE((const void*)text, (void*)heap.data);
    EXPECT_STREQ("hello", (const char*)heap.data);
    EXPECT_TRUE(heap.owns);
    heap.Release();
    EXPECT_TRUE(heap.IsEmpty());
    heap.Release();  // twice is harmless

    char borrowed[4] = {1, 2, 3, 4};
    MMPacket notOwned;
    notOwned.Attach(borrowed, 4, 0, false);
    notOwned.Release();
    EXPECT_EQ((uint8_t*)borrowed, notOwned.data) << "data it does not own stays";

    MemPool pool;
    pool.Init(16, 1);
    MMPacket fromPool = Picture(pool);
    ASSERT_FALSE(fromPool.IsEmpty());
    EXPECT_TRUE(Picture(pool).IsEmpty()) << "pool exhausted: the packet stays empty";
    fromPool.Release();
    EXPECT_EQ(1, FreePoolBlocks(pool));
}

TEST(PacketQueue, PackerKeepsTwoPicturesAndEverySound) {
    MemPool pool;
    pool.Init(16, 8);
    PacketQueue queue;
    ASSERT_EQ(0, queue.Init(PacketQueue::ADMIT_PACKER));
    MMPacket p[4] = {Picture(pool), Picture(pool), Picture(pool), Sound()};
    queue.Push(&p[0]);
    for (int i = 0; i < 5; ++i) {
        MMPacket s = Sound();
        queue.Push(&s);
    }
    queue.Push(&p[1]);
    EXPECT_EQ(0, queue.Push(&p[2]));
    EXPECT_EQ(7, queue.Count()) << "a third waiting picture is refused";
    EXPECT_EQ(6, FreePoolBlocks(pool)) << "and its block went back at once";
    queue.Push(&p[3]);
    EXPECT_EQ(8, queue.Count()) << "sound is never refused";

    // Arrival order; after one picture leaves, the next is admitted.
    MMPacket front = queue.Pop();
    EXPECT_EQ(p[0].data, front.data);
    front.Release();
    MMPacket next = Picture(pool);
    queue.Push(&next);
    EXPECT_EQ(8, queue.Count());
    queue.Drain();
    EXPECT_TRUE(queue.Pop().IsEmpty());
    EXPECT_EQ(8, FreePoolBlocks(pool)) << "drain releases every packet";
}

TEST(PacketQueue, PresenterRefusesThe32ndPacket) {
    PacketQueue queue;
    ASSERT_EQ(0, queue.Init(PacketQueue::ADMIT_PRESENTER));
    for (int i = 0; i < 40; ++i) {
        MMPacket s = Sound();
        queue.Push(&s);
    }
    EXPECT_EQ(PacketQueue::MAX_PRESENTER_PACKETS, queue.Count());
    queue.Pop().Release();
    MMPacket again = Sound();
    queue.Push(&again);
    EXPECT_EQ(PacketQueue::MAX_PRESENTER_PACKETS, queue.Count()) << "room for one again";
    // The queue's destructor drains what is left (LeakSanitizer checks).
}

TEST(PacketQueue, ProducersAndConsumerOnManyThreads) {
    MemPool pool;
    pool.Init(16, 8);
    PacketQueue queue;
    queue.Init(PacketQueue::ADMIT_PACKER);
    struct Producer : OS_Thread {
        PacketQueue* queue = nullptr;
        MemPool* pool = nullptr;  // null: sound
        int Run() override {
            for (int i = 0; i < 2000; ++i) {
                MMPacket p = pool ? Picture(*pool, i) : Sound();
                if (!p.IsEmpty())
                    queue->Push(&p);
            }
            return 0;
        }
    } producers[3];
    for (int i = 0; i < 3; ++i) {
        producers[i].queue = &queue;
        producers[i].pool = i < 2 ? &pool : nullptr;
        producers[i].Start();
    }
    int sounds = 0;
    auto take = [&] {
        MMPacket p = queue.Pop();
        bool got = !p.IsEmpty();
        sounds += p.type == MMPacket::TYPE_AUDIO;
        p.Release();
        return got;
    };
    for (int spins = 0; spins < 200000 && sounds < 2000; ++spins)
        take();
    for (Producer& p : producers)
        p.Join();
    while (take()) {
    }
    EXPECT_EQ(8, FreePoolBlocks(pool));
    EXPECT_EQ(2000, sounds) << "sound pushed while the consumer was busy was never lost";
}
